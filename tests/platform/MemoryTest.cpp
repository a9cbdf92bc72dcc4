#include "platform/Memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

// Sizes on both sides of the huge page: each block is whole, zero-filled, writable to its
// last byte, and blocks of a huge page or more start on a huge-page boundary.
TEST(MappedMemory, BlocksAreWholeZeroedAndAligned)
{
    constexpr size_t kHuge = size_t(2) << 20;
    const size_t sizes[] = {1, 4095, 4096, 65536 + 1, kHuge - 1, kHuge, kHuge + 1, 3 * kHuge + 12345};
    for (size_t bytes : sizes) {
        const size_t mapped = MappedSize(bytes);
        EXPECT_GE(mapped, bytes) << bytes;
        EXPECT_EQ(mapped % 4096, 0u) << bytes;
        auto* p = static_cast<unsigned char*>(MapMemory(bytes));
        ASSERT_NE(p, nullptr) << bytes;
        if (bytes >= kHuge) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % kHuge, 0u) << bytes;
            EXPECT_EQ(mapped % kHuge, 0u) << bytes;
        }
        EXPECT_EQ(p[0], 0) << bytes;
        EXPECT_EQ(p[mapped - 1], 0) << bytes;
        PrefaultMemory(p, mapped);
        std::memset(p, 0xA5, mapped);
        EXPECT_EQ(p[mapped / 2], 0xA5) << bytes;
        UnmapMemory(p, bytes);
    }
}

TEST(MappedMemory, ArraysStartZeroedAndMayBeEmpty)
{
    struct Pair {
        uint64_t a;
        uint32_t b;
    };
    TMappedArray<Pair> none(0);
    EXPECT_EQ(none.size(), 0u);
    EXPECT_EQ(none.begin(), none.end());
    TMappedArray<Pair> many(300000);
    ASSERT_EQ(many.end() - many.begin(), 300000);
    EXPECT_EQ(many[0].a, 0u);
    EXPECT_EQ(many[299999].b, 0u);
    many[299999].b = 7;
    EXPECT_EQ(many.end()[-1].b, 7u);
}
