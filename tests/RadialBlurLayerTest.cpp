#include "effects/RadialBlurLayer.h"

#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A 512 x 384 image inside a larger block whose margins hold a poison value, so that a read
// outside the image would show in the result.
struct GuardedImage {
    static constexpr int margin = 4096;
    explicit GuardedImage(std::uint32_t fill, std::uint32_t poison = 0x00FFFFFF)
        : storage(screenPixelCount + 2 * margin, poison) {
        std::fill(storage.begin() + margin, storage.begin() + margin + screenPixelCount, fill);
        bitmap.width = 512;
        bitmap.height = 384;
        bitmap.pixels = storage.data() + margin;
    }
    std::uint32_t& at(int x, int y) { return bitmap.pixels[y * 512 + x]; }
    std::vector<std::uint32_t> storage;
    Bitmap bitmap;
};

} // namespace

// The interpolation returns 100 and the own share adds 2 * ((100 * 8191) >> 16) = 24.
TEST(RadialBlurLayer, UniformHundredGivesHundredAndTwentyFourAtTheCentre) {
    GuardedImage image(0xAB646464);
    RadialBlurLayer blur;
    blur.setParameters(0.02f, 0.25f);
    blur.setCentre(256.9f, 192.2f); // kept as (256, 192)
    for (SimdLevel level : {SimdLevel::plain, SimdLevel::sse2}) {
        SimdLevelGuard guard(level);
        std::fill(image.bitmap.pixels, image.bitmap.pixels + screenPixelCount, 0xAB646464u);
        blur.render(image.bitmap, 0.0);
        EXPECT_EQ(image.at(256, 192), 0xAB7C7C7Cu);
        // Farther pixels sample blurred neighbours and climb higher, never lower; the top byte
        // follows the first sample.
        for (int i = 0; i < screenPixelCount; ++i) {
            std::uint32_t pixel = image.bitmap.pixels[i];
            ASSERT_EQ(pixel >> 24, 0xABu);
            ASSERT_GE(pixel & 0xFF, 124u);
        }
    }
}

TEST(RadialBlurLayer, NoStrengthAndNoKeepLeaveTheImageAsItIs) {
    GuardedImage image(0);
    std::vector<std::uint32_t> random(screenPixelCount);
    fillRandom(random, 3);
    std::copy(random.begin(), random.end(), image.bitmap.pixels);
    RadialBlurLayer blur;
    blur.setParameters(0.0f, 0.0f);
    blur.setCentre(100.0f, 300.0f);
    blur.render(image.bitmap, 0.0);
    EXPECT_TRUE(std::equal(random.begin(), random.end(), image.bitmap.pixels));
}

TEST(RadialBlurLayer, CentreRowSamplesOnlyItsOwnRow) {
    GuardedImage image(0x00FFFFFF);
    for (int x = 0; x < 512; ++x)
        image.at(x, 200) = 0x00102030;
    RadialBlurLayer blur;
    blur.setParameters(0.05f, 0.0f);
    blur.setCentre(300.0f, 200.0f);
    blur.render(image.bitmap, 0.0);
    for (int x = 0; x < 512; ++x)
        ASSERT_EQ(image.at(x, 200), 0x00102030u) << x;
}

TEST(RadialBlurLayer, SaturatesAt255) {
    GuardedImage image(0x00F0F0F0);
    RadialBlurLayer blur; // keep 1.0: the own share nearly doubles every byte
    blur.render(image.bitmap, 0.0);
    EXPECT_EQ(image.at(256, 192), 0x00FFFFFFu);
}

// Centres on the last row and column and outside the image: every sample stays inside, so the
// poison around the black image never shows.
TEST(RadialBlurLayer, SamplesNeverLeaveTheImage) {
    for (auto [x, y] : {std::pair{511.0f, 383.0f}, {700.0f, -50.0f}, {-300.0f, 900.0f}, {1.0e9f, -1.0e9f}}) {
        for (SimdLevel level : {SimdLevel::plain, SimdLevel::sse2}) {
            SimdLevelGuard guard(level);
            GuardedImage image(0);
            RadialBlurLayer blur;
            blur.setParameters(0.05f, 0.25f);
            blur.setCentre(x, y);
            blur.render(image.bitmap, 0.0);
            for (int i = 0; i < screenPixelCount; ++i)
                ASSERT_EQ(image.bitmap.pixels[i], 0u) << "centre " << x << ", " << y << " pixel " << i;
        }
    }
}

TEST(RadialBlurLayer, VectorLoopMatchesThePlainLoop) {
    std::vector<std::uint32_t> source(screenPixelCount);
    fillRandom(source, 5);
    struct Case {
        float x, y, strength, keep;
    };
    for (Case c : {Case{256.0f, 192.0f, 0.02f, 0.25f}, Case{57.3f, 370.9f, 0.05f, 1.0f},
                   Case{455.0f, 12.0f, 0.3f, 0.6f}, Case{600.0f, -20.0f, 0.1f, 1.7f},
                   Case{0.0f, 0.0f, -0.2f, -0.5f}}) {
        std::vector<std::uint32_t> plain = source, vector = source;
        RadialBlurLayer blur;
        blur.setParameters(c.strength, c.keep);
        blur.setCentre(c.x, c.y);
        blur.blurPlain(plain.data());
        blur.blurSse2(vector.data());
        ASSERT_EQ(plain, vector) << "centre " << c.x << ", " << c.y;
    }
}

// A patterned image blurred from (300, 150), strength 0.05, keep 0.03; the expected pixels were
// worked out separately, pixel by pixel in the same order, outside this code base.
TEST(RadialBlurLayer, PatternedImageAfterOnePass) {
    for (SimdLevel level : {SimdLevel::plain, SimdLevel::sse2}) {
        SimdLevelGuard guard(level);
        GuardedImage image(0);
        for (int y = 0; y < 384; ++y)
            for (int x = 0; x < 512; ++x)
                image.at(x, y) = std::uint32_t((x * 37 + y * 91) & 0xFF) |
                                 std::uint32_t((x * 11) & 0xFF) << 8 |
                                 std::uint32_t((y * 5 + x) & 0xFF) << 16 | 0xAB000000u;
        RadialBlurLayer blur;
        blur.setParameters(0.05f, 0.03f);
        blur.setCentre(300.7f, 150.2f);
        blur.render(image.bitmap, 0.0);
        struct Expected {
            int x, y;
            std::uint32_t pixel;
        };
        for (Expected e :
             {Expected{300, 150, 0xAB1AEAB2}, Expected{301, 150, 0xAB1AF4D6}, Expected{511, 383, 0xABDABACA},
              Expected{0, 0, 0xABFFCDC8}, Expected{0, 383, 0xAB95CFD3}, Expected{511, 0, 0xABFFD3CD},
              Expected{420, 300, 0xABC698C2}, Expected{17, 42, 0xABFFC9C6}, Expected{300, 0, 0xABFFFFED}})
            EXPECT_EQ(image.at(e.x, e.y), e.pixel) << e.x << ", " << e.y;
    }
}
