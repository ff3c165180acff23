#include "core/Bitmap.h"
#include "core/CacheLines.h"
#include "core/Layer.h"
#include "core/PixelOps.h"
#include "core/Random.h"
#include "core/SineTable.h"

#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cstddef>
#include <vector>

namespace {

// Puts the generator in a known state and restores it, so tests do not depend on each other.
class RandomStateGuard {
public:
    explicit RandomStateGuard(std::uint32_t state) : saved(randomState) { randomState = state; }
    ~RandomStateGuard() { randomState = saved; }

private:
    std::uint32_t saved;
};

} // namespace

TEST(Bitmap, UnfilledReportsMinusOneAndNoPixels) {
    Bitmap bitmap;
    EXPECT_EQ(bitmap.width, -1);
    EXPECT_EQ(bitmap.height, -1);
    EXPECT_EQ(bitmap.pixels, nullptr);
    EXPECT_EQ(bitmap.reserved, -1);
}

TEST(SineTable, TellingEntries) {
    SineTable* table = SineTable::instance();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table, SineTable::instance());
    struct Entry { int index, sine, cosine; };
    for (Entry e : {Entry{0, 0, 8192}, Entry{1024, 5792, 5792}, Entry{2048, 8191, 0},
                    Entry{4096, 0, -8191}, Entry{6144, -8191, 0}, Entry{8191, -6, 8191}}) {
        EXPECT_EQ(table->sin(e.index), e.sine) << "index " << e.index;
        EXPECT_EQ(table->cos(e.index), e.cosine) << "index " << e.index;
    }
}

TEST(SineTable, IndicesWrapModulo8192) {
    SineTable* table = SineTable::instance();
    EXPECT_EQ(table->sin(8192), 0);
    EXPECT_EQ(table->cos(-1), 8191);
    EXPECT_EQ(table->sin(-2048), -8191);
    EXPECT_EQ(table->sin(INT_MIN), table->sin(0));
}

TEST(SineTable, ExtremesAre8191ExceptCosineAtZero) {
    SineTable* table = SineTable::instance();
    int largestSine = INT_MIN, smallestSine = INT_MAX, cosine8192 = 0;
    for (int i = 0; i < 8192; ++i) {
        largestSine = std::max(largestSine, table->sin(i));
        smallestSine = std::min(smallestSine, table->sin(i));
        cosine8192 += table->cos(i) == 8192;
    }
    EXPECT_EQ(largestSine, 8191);
    EXPECT_EQ(smallestSine, -8191);
    EXPECT_EQ(cosine8192, 1);
}

TEST(Random, SequenceFromInitialState) {
    RandomStateGuard guard(130596);
    EXPECT_EQ(nextRandom(100), 6);
    EXPECT_EQ(nextRandom(100), 68);
    EXPECT_EQ(nextRandom(100), 30);
}

TEST(Random, SequenceFromZero) {
    RandomStateGuard guard(0);
    EXPECT_EQ(nextRandom(1000), 0);
    // 157 rotated left by 11 bits, XOR 157.
    EXPECT_EQ(randomState, (157u << 11) ^ 157u);
    EXPECT_EQ(randomState, 0x4E89Du);
    EXPECT_EQ(nextRandom(1000), 153);
}

TEST(Random, ZeroRangeStillAdvances) {
    RandomStateGuard guard(0);
    EXPECT_EQ(nextRandom(0), 0);
    EXPECT_EQ(randomState, 0x4E89Du);
}

TEST(Random, LargestStateGivesExactlyN) {
    // Find the state whose successor is 0xFFFFFFFF: invert XOR 157, rotate right, subtract 157.
    std::uint32_t previous = std::rotr(0xFFFFFFFFu ^ 157u, 11) - 157u;
    {
        RandomStateGuard guard(previous);
        EXPECT_EQ(nextRandom(1), 1);
    }
    {
        RandomStateGuard guard(previous);
        EXPECT_EQ(nextRandom(-7), -7);
    }
    RandomStateGuard guard(0);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(nextRandom(1), 0);
}

TEST(Random, NegativeRangeStaysAtOrBelowZero) {
    RandomStateGuard guard(12345);
    for (int i = 0; i < 1000; ++i) {
        int value = nextRandom(-10);
        ASSERT_LE(value, 0);
        ASSERT_GE(value, -9);
    }
}

TEST(Random, InverseMaxHasTheStatedBits) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(2.3283064370807974e-10), 0x3DF0000000100000u);
}

TEST(AbsInt, NegatesAndKeepsMostNegative) {
    EXPECT_EQ(absInt(-5), 5);
    EXPECT_EQ(absInt(0), 0);
    EXPECT_EQ(absInt(7), 7);
    EXPECT_EQ(absInt(INT_MIN), INT_MIN);
}

TEST(PixelOps, ScaleRGBTruncatesEachChannel) {
    // 0xFF * 128 / 256 = 127.5 -> 127; 0x81 * 128 / 256 = 64.5 -> 64; 0x03 * 128 / 256 = 1.
    EXPECT_EQ(scaleRGB(0xAAFF8103u, 128), 0x007F4001u);
    EXPECT_EQ(scaleRGB(0x00FFFFFFu, 256), 0x00FFFFFFu);
    EXPECT_EQ(scaleRGB(0x00FFFFFFu, 0), 0u);
}

TEST(PixelOps, ScaleBytesKeepsTopByte) {
    EXPECT_EQ(scaleBytes(0xFF804002u, 128), 0x7F402001u);
    EXPECT_EQ(scaleBytes(0xFFFFFFFFu, 255), 0xFEFEFEFEu);
}

TEST(PixelOps, SaturatingByteAddAndSubtract) {
    EXPECT_EQ(addSaturateBytes(0x80F00110u, 0x80200102u), 0xFFFF0212u);
    EXPECT_EQ(addSaturateBytes(0xFFFFFFFFu, 0xFFFFFFFFu), 0xFFFFFFFFu);
    EXPECT_EQ(subtractSaturateBytes(0x10203040u, 0x20103050u), 0x00100000u);
}

// Ranges of every length up to three lines, starting anywhere in a line: each ends where its buffer
// ends, so that a touch past the end shows under the address sanitizer.
TEST(CacheLines, ClaimingChangesNoByteAndStaysInTheRange) {
    for (std::size_t start = 0; start < 64; start += 7)
        for (std::size_t length = 0; length <= 3 * 64 + 1; ++length) {
            std::vector<unsigned char> memory(start + length);
            for (std::size_t i = 0; i < memory.size(); ++i)
                memory[i] = static_cast<unsigned char>(i * 37 + 11);
            const std::vector<unsigned char> before = memory;
            claimCacheLines(memory.data() + start, length);
            ASSERT_EQ(memory, before) << "from " << start << ", " << length << " bytes";
        }
}
