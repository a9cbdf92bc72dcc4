// Chunks mapped from the system, records handed out in order; poisoning under the address
// sanitizer (the macros do nothing in other builds).
#include "table/RecordStorage.h"
#include "platform/Memory.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define VDX_POISONED_STORAGE 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VDX_POISONED_STORAGE 1
#endif
#endif

#ifdef VDX_POISONED_STORAGE
// A record starts on a shadow granule of its own and is followed by at least one poisoned
// granule, so the first byte past it is always caught.
constexpr size_t kGranule = 8;
constexpr size_t kGap = 2 * kGranule;
unsigned char* NextStart(unsigned char* recordEnd)
{
    const auto a = reinterpret_cast<uintptr_t>(recordEnd);
    return recordEnd + ((a + kGranule - 1) / kGranule * kGranule - a) + kGranule;
}
#else
constexpr size_t kGap = 0;
unsigned char* NextStart(unsigned char* recordEnd) { return recordEnd; }
#endif

// Chunks from 2 MB up come in huge pages (see MapMemory); on virtual machines that hand
// freed memory back to their host a first load then costs no more than small pages faulted
// in ahead, and a load soon after another costs a small part of it.
constexpr size_t kFirstChunk = 64 * 1024;
constexpr size_t kLargestChunk = size_t(64) << 20;
// Memory is asked for ahead of the rows in steps of this size.
constexpr size_t kPopulateStep = size_t(4) << 20;
constexpr size_t kSmallPage = 4096;

size_t RoundUp(size_t n, size_t to) { return (n + to - 1) / to * to; }

} // namespace

TRecordStorage::~TRecordStorage() { Release(); }

void TRecordStorage::NewChunk(size_t bytes)
{
    // Each chunk a quarter of what is held so far, up to 64 MB: geometric growth keeps the
    // number of chunks small, the cap what is left unused at the end of millions of rows.
    size_t size = std::max(kFirstChunk, std::min(reserved_ / 4, kLargestChunk));
    if (size >= kHugePageBytes) size -= size % kHugePageBytes;   // whole huge pages, none beyond the growth
    size = MappedSize(std::max(size, bytes + kGap));
    chunks_.reserve(chunks_.size() + 1);
    auto* base = static_cast<unsigned char*>(MapMemory(size));
    ASAN_POISON_MEMORY_REGION(base, size);
    chunks_.push_back({base, size});
    reserved_ += size;
    next_ = base;
    end_ = base + size;
    populated_ = base;
}

unsigned char* TRecordStorage::Grant(unsigned char* upTo)
{
    if (upTo > populated_) {
        unsigned char* to = std::min(end_, std::max(upTo, populated_ + kPopulateStep));
        to = populated_ + RoundUp(static_cast<size_t>(to - populated_), kSmallPage);
        if (to > end_) to = end_;
        PrefaultMemory(populated_, static_cast<size_t>(to - populated_));
        populated_ = to;
    }
    if (upTo > limit_) ASAN_UNPOISON_MEMORY_REGION(limit_, static_cast<size_t>(upTo - limit_));
    limit_ = upTo;
    return limit_;
}

unsigned char* TRecordStorage::BeginRow(size_t bytes)
{
    // A row given up before its end (an error within it) is built over.
    if (limit_ > next_) ASAN_POISON_MEMORY_REGION(next_, static_cast<size_t>(limit_ - next_));
    if (!next_ || static_cast<size_t>(end_ - next_) < bytes + kGap) NewChunk(bytes);
    row_ = limit_ = next_;
    Grant(row_ + bytes);
    return row_;
}

unsigned char* TRecordStorage::GrowRow(size_t used, size_t bytes)
{
    if (static_cast<size_t>(end_ - row_) < bytes + kGap) {
        // The row outgrows its chunk: it moves to a new one with what it holds so far.
        unsigned char* const from = row_;
        unsigned char* const fromLimit = limit_;
        NewChunk(bytes);
        row_ = limit_ = next_;
        Grant(row_ + bytes);
        if (used > 0) std::memcpy(row_, from, used);
        ASAN_POISON_MEMORY_REGION(from, static_cast<size_t>(fromLimit - from));
        return row_;
    }
    if (row_ + bytes > limit_) Grant(row_ + bytes);
    return row_;
}

unsigned char* TRecordStorage::EndRow(size_t bytes)
{
    unsigned char* const end = row_ + bytes;
    // What the row was granted beyond its bytes belongs to no record; the gap after it was
    // never granted. BeginRow and GrowRow left room for the gap in the chunk.
    if (limit_ > end) ASAN_POISON_MEMORY_REGION(end, static_cast<size_t>(limit_ - end));
    next_ = NextStart(end);
    limit_ = next_;
    return row_;
}

unsigned char* TRecordStorage::Allocate(size_t bytes)
{
    BeginRow(bytes);
    return EndRow(bytes);
}

void TRecordStorage::Release()
{
    for (const Chunk& c : chunks_) {
        // The memory may come back from the system for anything else: no poison left on it.
        ASAN_UNPOISON_MEMORY_REGION(c.base, c.size);
        UnmapMemory(c.base, c.size);
    }
    chunks_.clear();
    next_ = end_ = populated_ = row_ = limit_ = nullptr;
    reserved_ = 0;
}
