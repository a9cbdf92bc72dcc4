#include "table/RecordStorage.h"
#include "table/RecordTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPoisoned = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kPoisoned = true;
#else
constexpr bool kPoisoned = false;
#endif
#else
constexpr bool kPoisoned = false;
#endif

unsigned char Pattern(size_t record, size_t i) { return static_cast<unsigned char>(record * 31 + i * 7 + 1); }

void Fill(unsigned char* p, size_t record, size_t from, size_t to)
{
    for (size_t i = from; i < to; ++i) p[i] = Pattern(record, i);
}

bool Holds(const unsigned char* p, size_t record, size_t bytes)
{
    for (size_t i = 0; i < bytes; ++i)
        if (p[i] != Pattern(record, i)) return false;
    return true;
}

struct Made {
    unsigned char* start;
    size_t bytes;
};

// Records of many sizes, some whole at once and some built in steps: they fill several
// chunks, and every one keeps its own bytes to the end.
TEST(RecordStorage, RecordsAcrossChunksKeepTheirBytes)
{
    TRecordStorage s;
    std::vector<Made> made;
    for (size_t r = 0; r < 6000; ++r) {
        const size_t bytes = 1 + (r * 37) % 700;
        if (r % 3 == 0) {
            unsigned char* p = s.Allocate(bytes);
            Fill(p, r, 0, bytes);
            made.push_back({p, bytes});
        } else {
            unsigned char* p = s.BeginRow(8);
            Fill(p, r, 0, std::min<size_t>(8, bytes));
            p = s.GrowRow(std::min<size_t>(8, bytes), bytes);
            Fill(p, r, std::min<size_t>(8, bytes), bytes);
            made.push_back({s.EndRow(bytes), bytes});
        }
    }
    EXPECT_GT(s.ChunkCount(), 3u);
    for (size_t r = 0; r < made.size(); ++r) ASSERT_TRUE(Holds(made[r].start, r, made[r].bytes)) << r;
    // In order, never overlapping.
    for (size_t r = 1; r < made.size(); ++r) {
        if (made[r].start > made[r - 1].start) {
            ASSERT_GE(made[r].start, made[r - 1].start + made[r - 1].bytes) << r;
        }
    }
}

// A row that outgrows its chunk part-way moves to a new one with what it holds; the old
// chunk keeps its records, the next record follows the moved row.
TEST(RecordStorage, RowMovesToANewChunkWithWhatItHolds)
{
    TRecordStorage s;
    unsigned char* first = s.Allocate(100);
    Fill(first, 0, 0, 100);
    const size_t chunks = s.ChunkCount();
    unsigned char* row = s.BeginRow(50);
    Fill(row, 1, 0, 50);
    const size_t big = s.ReservedBytes() * 2;
    unsigned char* moved = s.GrowRow(50, big);
    EXPECT_NE(moved, row);
    EXPECT_EQ(s.ChunkCount(), chunks + 1);
    EXPECT_GE(s.RowLimit(), moved + big);
    Fill(moved, 1, 50, big);
    EXPECT_EQ(s.EndRow(big), moved);
    unsigned char* after = s.Allocate(10);
    Fill(after, 2, 0, 10);
    EXPECT_TRUE(Holds(first, 0, 100));
    EXPECT_TRUE(Holds(moved, 1, big));
    EXPECT_TRUE(Holds(after, 2, 10));
    EXPECT_GE(after, moved + big);
}

TEST(RecordStorage, ReleaseGivesEverythingBack)
{
    TRecordStorage s;
    for (int i = 0; i < 1000; ++i) s.Allocate(1000);
    EXPECT_GE(s.ReservedBytes(), 1000u * 1000u);
    s.Release();
    EXPECT_EQ(s.ReservedBytes(), 0u);
    EXPECT_EQ(s.ChunkCount(), 0u);
    unsigned char* p = s.Allocate(10);
    Fill(p, 3, 0, 10);
    EXPECT_TRUE(Holds(p, 3, 10));
}

// One byte written past a record, or past the room of a row being built, is reported by
// the address sanitizer; records of every length end in poisoned bytes.
TEST(RecordStorageDeathTest, WritePastARecordIsReported)
{
    if (!kPoisoned) GTEST_SKIP() << "no address sanitizer in this build";
    for (size_t bytes : {1u, 7u, 8u, 16u, 33u}) {
        EXPECT_DEATH(
            {
                TRecordStorage s;
                unsigned char* p = s.Allocate(bytes);
                s.Allocate(24);
                volatile unsigned char* past = p + bytes;
                *past = 1;
            },
            "use-after-poison")
            << bytes;
    }
    EXPECT_DEATH(
        {
            TRecordStorage s;
            unsigned char* row = s.BeginRow(20);
            volatile unsigned char* past = row + 20;
            *past = 1;
        },
        "use-after-poison");
    // A chunk's unused tail, left behind by a row that moved on.
    EXPECT_DEATH(
        {
            TRecordStorage s;
            unsigned char* row = s.BeginRow(20);
            s.GrowRow(20, 1 << 20);
            volatile unsigned char* old = row;
            *old = 1;
        },
        "use-after-poison");
}

// The table over its storage: the same records row by row and in bulk, and nothing kept
// after closing.
TEST(RecordStorage, TableBulkAndRowByRowAgreeAndCloseReleases)
{
    TRecordTable bulk, single;
    for (TRecordTable* t : {&bulk, &single}) {
        t->AddField("ID", ftInteger);
        t->AddField("file", ftString, 256);
        t->AddField("size", ftFloat);
        t->AddField("body", ftString, 1000);
        t->OpenTable();
    }
    const auto text = [](int i, int f) { return std::string(static_cast<size_t>((i * 13 + f * 101) % 900), static_cast<char>('A' + (i + f) % 26)); };
    bulk.FreezeControls();
    bulk.BulkBegin();
    for (int i = 0; i < 3000; ++i) {
        bulk.BulkRowStart();
        bulk.BulkInteger(bulk.Field(0), i);
        for (int f : {1, 3}) {
            const std::string v = text(i, f).substr(0, static_cast<size_t>(bulk.Field(f).Size));
            char* d = bulk.BulkStringSpace(v.size());
            std::memcpy(d, v.data(), v.size());
            bulk.BulkString(bulk.Field(f), v.size());
        }
        if (i % 2) bulk.BulkFloat(bulk.Field(2), i / 4.0);
        bulk.BulkRowEnd();

        single.BeginAppend();
        single.SetInteger(single.Field(0), i);
        single.SetString(single.Field(1), text(i, 1));
        if (i % 2) single.SetFloat(single.Field(2), i / 4.0);
        single.SetString(single.Field(3), text(i, 3));
        single.PostRecord();
    }
    bulk.ReleaseControls();
    ASSERT_EQ(bulk.GetRecordCount(), single.GetRecordCount());
    for (int r = 0; r < bulk.GetRecordCount(); ++r) {
        const TRecord* a = bulk.RecordAt(r);
        const TRecord* b = single.RecordAt(r);
        ASSERT_EQ(TRecordTable::Identity(a), TRecordTable::Identity(b)) << r;
        ASSERT_EQ(bulk.RecordBytes(a), single.RecordBytes(b)) << r;
        ASSERT_EQ(std::memcmp(a, b, bulk.RecordBytes(a)), 0) << r;
    }
    EXPECT_GT(bulk.StorageBytes(), 0u);
    bulk.CloseTable();
    EXPECT_EQ(bulk.StorageBytes(), 0u);
    bulk.OpenTable();
    EXPECT_EQ(bulk.GetRecordCount(), 0);
}

} // namespace
