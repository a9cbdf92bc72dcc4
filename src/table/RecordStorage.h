#pragma once
// The bytes of a record table's stored records: chunks of memory mapped from the system,
// handed out in order, one record after the other, and given back all at once. It knows
// nothing of fields or layouts; the record table decides what a record's bytes mean.
//
// Under the address sanitizer it is the same storage on the same code path; it only
// poisons what no record owns (the unused tail of each chunk, the room between a row being
// built and its limit, and a small gap it leaves after each record), so that a read or a
// write past a record's end is reported.
#include <cstddef>
#include <vector>

#include <sanitizer/asan_interface.h>

class TRecordStorage {
public:
    TRecordStorage() = default;
    ~TRecordStorage();
    TRecordStorage(const TRecordStorage&) = delete;
    TRecordStorage& operator=(const TRecordStorage&) = delete;

    // A record of exactly this many bytes, at the end.
    unsigned char* Allocate(size_t bytes);

    // Building one record in place: BeginRow gives room for `bytes` at the end; GrowRow
    // makes that room `bytes` in all, moving the row and its first `used` bytes to a new
    // chunk when its own lacks the room (the old chunk's tail then stays unused); EndRow
    // keeps the row's first `bytes` bytes as a record. Each returns the row's start, which
    // may write up to RowLimit().
    unsigned char* BeginRow(size_t bytes);
    unsigned char* GrowRow(size_t used, size_t bytes);
    unsigned char* EndRow(size_t bytes);
    unsigned char* RowLimit() const { return limit_; }

    // Gives every chunk back; every record handed out is gone.
    void Release();

    // Bytes reserved from the system (whole chunks, used or not), for memory figures.
    size_t ReservedBytes() const { return reserved_; }
    size_t ChunkCount() const { return chunks_.size(); }

private:
    struct Chunk {
        unsigned char* base;
        size_t size;
    };

    void NewChunk(size_t bytes);
    unsigned char* Grant(unsigned char* upTo);

    std::vector<Chunk> chunks_;
    unsigned char* next_ = nullptr;       // where the next record starts
    unsigned char* end_ = nullptr;        // end of the current chunk
    unsigned char* populated_ = nullptr;  // end of the current chunk's memory faulted in ahead
    unsigned char* row_ = nullptr;        // the row being built
    unsigned char* limit_ = nullptr;      // end of the room granted to it
    size_t reserved_ = 0;
};
