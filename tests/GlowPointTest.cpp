#include "effects/GlowPoint.h"
#include "core/SimdLevel.h"
#include "effects/GlowDots.h"
#include "effects/SparkParticle.h"
#include "effects/WrappingTruncation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <utility>
#include <vector>

namespace {

// A 512 x 384 picture whose pixels all start at `fill`.
struct Picture {
    std::vector<std::uint32_t> memory;
    Bitmap bitmap;
    explicit Picture(std::uint32_t fill, int width = 512, int height = 384)
        : memory(static_cast<std::size_t>(width) * height, fill) {
        bitmap.width = width;
        bitmap.height = height;
        bitmap.pixels = memory.data();
    }
    std::uint32_t at(int column, int row) const { return memory[row * 512 + column]; }
};

// With focal 1024 and z = 0 (distance 824), x = 412 is exactly half a pixel right of the centre,
// so the dot's top-left pixel is (256, 192) with no fraction: it takes the whole weight.
constexpr int unitFocal = 1024;

} // namespace

TEST(WrappingTruncation, KeepsLow32BitsOfTheTruncation) {
    EXPECT_EQ(truncateToLow32(-1.5), -1);
    EXPECT_EQ(truncateToLow32(1.99), 1);
    EXPECT_EQ(truncateToLow32(4294967296.0 + 5.0), 5);
    EXPECT_EQ(truncateToLow32(3000000000.0), 3000000000 - 4294967296);
    EXPECT_EQ(truncateToLow32(-4294967296.0 - 7.0), -7);
    EXPECT_EQ(truncateToLow32(4611686018427387904.0 + 3072.0), 3072); // 2^62 + 3072
}

TEST(WrappingTruncation, NonFiniteAndBeyondInt64GiveZero) {
    EXPECT_EQ(truncateToLow32(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(truncateToLow32(std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(truncateToLow32(-std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(truncateToLow32(1e19), 0);
    EXPECT_EQ(truncateToLow32(-1e19), 0);
}

TEST(GlowPoint, AddGlowSaturatesAt254PerChannel) {
    // Light 0xFE, 0x80, 0x04 onto 0x80, 0xC0, 0x02 (low bits cleared): red and green saturate,
    // blue adds, the top byte keeps 0x80.
    EXPECT_EQ(addGlow(0x81C1C103, 0x00FF8004, 256), 0x80FEFE06u);
    EXPECT_EQ(addGlow(0xFFFFFFFF, 0x00FFFFFF, 256), 0xFEFEFEFEu);
    EXPECT_EQ(addGlow(0x00010101, 0x00FFFFFF, 0), 0u);
}

TEST(GlowPoint, BrightnessFallsWithDepthFrom1536To512) {
    // For each z, x = distance / 2 puts the whole dot on (256, 192); a white dot then adds
    // floor(255 * weight / 256) with the low bit cleared, weight = (255 * brightness) >> 12.
    struct Case {
        int z, x, channel;
    };
    const Case cases[] = {
        {-1600, 362, 94}, // distance 724, in front of the clamp: brightness 1536, weight 95
        {0, 412, 94},     // distance 824: brightness 1536
        {832, 438, 62},   // distance 876: brightness 1640 * 1024 / 1648 = 1019, weight 63
        {3296, 515, 30},  // distance 1030: brightness 512, weight 31
        {16000, 912, 30}, // distance 1824: still 512
    };
    for (const Case& c : cases) {
        Picture picture(0);
        GlowPoint{c.x, c.x, c.z, 0xFFFFFF}.draw(picture.bitmap, unitFocal, 824);
        std::uint32_t expected = c.channel * 0x010101u;
        EXPECT_EQ(picture.at(256, 192), expected) << "z " << c.z;
        EXPECT_EQ(picture.at(257, 192), 0u) << "z " << c.z;
        EXPECT_EQ(picture.at(256, 193), 0u) << "z " << c.z;
    }
}

TEST(GlowPoint, ColourChannelsAreWeightedSeparately) {
    Picture picture(0);
    // weight 95: red 255 -> 94, green 128 -> 47 -> 46, blue 64 -> 23 -> 22.
    GlowPoint{412, 412, 0, 0xFF8040}.draw(picture.bitmap, unitFocal, 824);
    EXPECT_EQ(picture.at(256, 192), 0x5E2E16u);
}

TEST(GlowPoint, BilinearWeightsOfACentredDot) {
    // x = y = 0 with focal 10002: 22.10 position (255.5, 191.5); each quarter of the area is
    // (511 * 511) >> 12 = 63 or (512 * 512) >> 12 = 64, times brightness 1536 >> 12: 23 or 24.
    Picture picture(0);
    GlowPoint{0, 0, 0, 0x00FF0000}.draw(picture.bitmap, 10002, 824);
    EXPECT_EQ(picture.at(255, 191), 22u << 16); // weight 23: 255 * 23 >> 8 = 22
    EXPECT_EQ(picture.at(256, 191), 22u << 16);
    EXPECT_EQ(picture.at(255, 192), 22u << 16);
    EXPECT_EQ(picture.at(256, 192), 22u << 16); // weight 24: 23, low bit cleared
}

TEST(GlowPoint, RepeatedDotsSaturateAt254AndNeverWrap) {
    Picture picture(0x81000000);
    for (int expected : {94, 188, 254, 254, 254, 254}) {
        GlowPoint{412, 412, 0, 0xFFFFFF}.draw(picture.bitmap, unitFocal, 824);
        EXPECT_EQ(picture.at(256, 192), 0x80000000u | (expected * 0x010101u));
    }
}

TEST(GlowPoint, ProductsWrapModulo2To32) {
    // 65536 * 65536 wraps to 0: the dot lands on the centre instead of far off screen.
    Picture picture(0);
    GlowPoint{65536, 0, 0, 0xFFFFFF}.draw(picture.bitmap, 65536, 824);
    EXPECT_NE(picture.at(255, 191), 0u);
    EXPECT_NE(picture.at(256, 192), 0u);
}

TEST(GlowPoint, PointsAtOrBehindTheEyeAreSkipped) {
    Picture picture(0x01010101);
    GlowPoint{0, 0, -824 * 16, 0xFFFFFF}.draw(picture.bitmap, 10002, 824); // (z >> 4) + 824 == 0
    GlowPoint{0, 0, INT32_MIN, 0xFFFFFF}.draw(picture.bitmap, 10002, 824);
    GlowPoint{0, 0, 0, 0xFFFFFF}.draw(picture.bitmap, 10002, 0);
    for (std::uint32_t pixel : picture.memory)
        ASSERT_EQ(pixel, 0x01010101u);
}

// Pixels start odd; every written pixel loses its low bits, even where the dot's weight is 0, so
// the written set shows exactly. x = -210120 puts the dot's left column at 0, x = 210120 at 510,
// x = 210944 at 511; y = 412 puts its rows at 192 and 193.
TEST(GlowPoint, NeverWritesColumnZeroOrRowZero) {
    Picture left(0x01010101);
    GlowPoint{-210120, 412, 0, 0}.draw(left.bitmap, unitFocal, 824);
    EXPECT_EQ(left.at(0, 192), 0x01010101u);
    EXPECT_EQ(left.at(1, 192), 0u);
    EXPECT_EQ(left.at(1, 193), 0u);

    Picture right(0x01010101);
    GlowPoint{210944, 412, 0, 0}.draw(right.bitmap, unitFocal, 824);
    EXPECT_EQ(right.at(511, 192), 0u);
    EXPECT_EQ(right.at(511, 193), 0u);

    // Row 0: y = -157384 puts the top row at 0 (x 412 keeps columns 256, 257).
    Picture top(0x01010101);
    GlowPoint{412, -157384, 0, 0}.draw(top.bitmap, unitFocal, 824);
    EXPECT_EQ(top.at(256, 0), 0x01010101u);
    EXPECT_EQ(top.at(256, 1), 0u);
    EXPECT_EQ(top.at(257, 1), 0u);
}

TEST(SparkParticle, KeepsTwoPixelsFromTheBorder) {
    Picture left(0x01010101);
    SparkParticle(-210120, 412, 0, 0, 0, 0, 0, 1).draw(left.bitmap, unitFocal, 824);
    EXPECT_EQ(left.at(0, 192), 0x01010101u);
    EXPECT_EQ(left.at(1, 192), 0x01010101u);

    Picture left2(0x01010101);
    SparkParticle(-209296, 412, 0, 0, 0, 0, 0, 1).draw(left2.bitmap, unitFocal, 824); // columns 1, 2
    EXPECT_EQ(left2.at(1, 192), 0x01010101u);
    EXPECT_EQ(left2.at(2, 192), 0u);

    Picture right(0x01010101);
    SparkParticle(210120, 412, 0, 0, 0, 0, 0, 1).draw(right.bitmap, unitFocal, 824); // columns 510, 511
    EXPECT_EQ(right.at(510, 192), 0u);
    EXPECT_EQ(right.at(511, 192), 0x01010101u);

    Picture bottom(0x01010101);
    SparkParticle(412, 157384, 0, 0, 0, 0, 0, 1).draw(bottom.bitmap, unitFocal, 824); // rows 382, 383
    EXPECT_EQ(bottom.at(256, 382), 0u);
    EXPECT_EQ(bottom.at(256, 383), 0x01010101u);
}

TEST(GlowDots, VectorPathMatchesOneDotAfterAnother) {
    if (supportedSimdLevel() != SimdLevel::avx2)
        GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 generator(2024);
    // Points spread over the screen, some near its borders, behind the eye or far off range.
    std::vector<std::int32_t> x(5003), y(5003), z(5003);
    std::vector<std::uint32_t> colours(5003);
    for (std::size_t i = 0; i < x.size(); ++i) {
        int kind = static_cast<int>(i % 5);
        std::uniform_int_distribution<std::int32_t> near(-300000, 300000), depth(-20000, 20000);
        x[i] = kind == 4 ? static_cast<std::int32_t>(generator()) : near(generator);
        y[i] = kind == 3 ? static_cast<std::int32_t>(generator()) : near(generator) * 3 / 4;
        z[i] = kind == 2 ? static_cast<std::int32_t>(generator()) : depth(generator);
        colours[i] = generator();
    }
    GlowDotBatch batch{x.data(), y.data(), z.data(), colours.data(), static_cast<int>(x.size())};
    for (int margin : {1, 2}) {
        for (auto [focal, depth] : {std::pair{10002, 824}, std::pair{16002, 4096}, std::pair{1024, 300}}) {
            Picture plain(0), vector(0);
            for (std::size_t i = 0; i < plain.memory.size(); ++i)
                plain.memory[i] = vector.memory[i] = static_cast<std::uint32_t>(i * 2654435761u);
            addGlowDotsPlain(plain.bitmap, batch, focal, depth, margin);
            addGlowDotsAvx2(vector.bitmap, batch, focal, depth, margin);
            ASSERT_TRUE(plain.memory == vector.memory) << "focal " << focal << " margin " << margin;
        }
    }
}
