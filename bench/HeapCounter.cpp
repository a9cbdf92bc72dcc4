// Replaces the C allocator's entry points with thin wrappers around glibc's own, counting the
// usable size of every live block. Single-threaded figures only: the counters are plain.
#include "HeapCounter.h"

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#include <cerrno>
#include <malloc.h>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
void* __libc_memalign(size_t, size_t);
void* __libc_valloc(size_t);
void* __libc_pvalloc(size_t);
}

namespace {
// Signed: blocks made before counting began may be freed while it runs.
long long inUse = 0;
long long peak = 0;
bool counting = false;

inline void* Track(void* p)
{
    if (p && counting) {
        inUse += static_cast<long long>(malloc_usable_size(p));
        if (inUse > peak)
            peak = inUse;
    }
    return p;
}
inline void Untrack(void* p)
{
    if (p && counting)
        inUse -= static_cast<long long>(malloc_usable_size(p));
}
} // namespace

extern "C" {
void* malloc(size_t n) { return Track(__libc_malloc(n)); }
void* calloc(size_t n, size_t m) { return Track(__libc_calloc(n, m)); }
void free(void* p)
{
    Untrack(p);
    __libc_free(p);
}
void* realloc(void* p, size_t n)
{
    const size_t old = p && counting ? malloc_usable_size(p) : 0;
    void* q = __libc_realloc(p, n);
    if (q || n == 0) {
        inUse -= static_cast<long long>(old);
        Track(q);
    }
    return q;
}
void* memalign(size_t a, size_t n) { return Track(__libc_memalign(a, n)); }
void* aligned_alloc(size_t a, size_t n) { return Track(__libc_memalign(a, n)); }
int posix_memalign(void** out, size_t a, size_t n)
{
    if (a < sizeof(void*) || (a & (a - 1)) != 0)
        return EINVAL;
    void* p = Track(__libc_memalign(a, n));
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}
void* valloc(size_t n) { return Track(__libc_valloc(n)); }
void* pvalloc(size_t n) { return Track(__libc_pvalloc(n)); }
}

namespace heapcount {
bool Available() { return true; }
void SetCounting(bool on) { counting = on; }
long long InUse() { return inUse; }
long long Peak() { return peak; }
void ResetPeak() { peak = inUse; }
} // namespace heapcount

#else

namespace heapcount {
bool Available() { return false; }
void SetCounting(bool) {}
long long InUse() { return 0; }
long long Peak() { return 0; }
void ResetPeak() {}
} // namespace heapcount

#endif
