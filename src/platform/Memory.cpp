#include "platform/Memory.h"

#include <cstdint>
#include <new>

#include <sys/mman.h>

namespace {

constexpr size_t kSmallPage = 4096;
constexpr size_t kHugePage = kHugePageBytes;

size_t RoundUp(size_t n, size_t to) { return (n + to - 1) / to * to; }

} // namespace

size_t MappedSize(size_t bytes)
{
    return RoundUp(bytes, bytes >= kHugePage ? kHugePage : kSmallPage);
}

void* MapMemory(size_t bytes)
{
    const size_t size = MappedSize(bytes);
    if (size < kHugePage) {
        void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        return p;
    }
    // Over-ask by one huge page and trim, so that the block starts on a boundary and every
    // one of its huge pages can be whole.
    void* raw = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = RoundUp(start, kHugePage);
    if (aligned > start) ::munmap(raw, aligned - start);
    const uintptr_t tail = aligned + size, rawEnd = start + size + kHugePage;
    if (rawEnd > tail) ::munmap(reinterpret_cast<void*>(tail), rawEnd - tail);
    void* block = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    ::madvise(block, size, MADV_HUGEPAGE);
#endif
    return block;
}

void UnmapMemory(void* block, size_t bytes)
{
    if (block) ::munmap(block, MappedSize(bytes));
}

void PrefaultMemory(void* from, size_t bytes)
{
#ifdef MADV_POPULATE_WRITE
    if (bytes) ::madvise(from, bytes, MADV_POPULATE_WRITE);
#else
    (void)from;
    (void)bytes;
#endif
}
