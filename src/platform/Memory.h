#pragma once
// Large blocks of fresh memory straight from the system, for storage that fills them in
// order and gives them back whole. The system calls of memory mapping live here.
#include <cstddef>
#include <type_traits>

// The size of a huge page where the system has them.
constexpr size_t kHugePageBytes = size_t(2) << 20;

// A block of at least `bytes`, readable and writable, zero-filled; bad_alloc when the system
// has none. Blocks of a huge page or more start on a huge-page boundary and are asked to be
// backed by huge pages where the system has them: a first write to them then costs a
// fraction of what it costs in small pages.
void* MapMemory(size_t bytes);

// Gives back a block MapMemory returned, with the same size asked for.
void UnmapMemory(void* block, size_t bytes);

// Faults [from, from + bytes) in at once, ahead of the writes: far cheaper than a fault per
// page as the writes reach them. Does nothing where the system cannot.
void PrefaultMemory(void* from, size_t bytes);

// The size MapMemory rounds a block of `bytes` up to.
size_t MappedSize(size_t bytes);

// A zero-filled array of n trivially copyable T in a block of its own from MapMemory, for
// work arrays of millions of entries that live for one operation: they get huge pages, and
// go back to the system whole when it ends.
template <class T>
class TMappedArray {
    static_assert(std::is_trivially_copyable_v<T>, "mapped arrays hold plain values");

public:
    explicit TMappedArray(size_t n) : n_(n), p_(n ? static_cast<T*>(MapMemory(n * sizeof(T))) : nullptr) {}
    ~TMappedArray() { UnmapMemory(p_, n_ * sizeof(T)); }
    TMappedArray(const TMappedArray&) = delete;
    TMappedArray& operator=(const TMappedArray&) = delete;

    T* begin() { return p_; }
    T* end() { return p_ + n_; }
    T& operator[](size_t i) { return p_[i]; }
    size_t size() const { return n_; }

private:
    size_t n_;
    T* p_;
};
