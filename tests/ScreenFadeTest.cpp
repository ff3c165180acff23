#include "effects/FadeToBlackLayer.h"
#include "effects/FadeToWhiteLayer.h"
#include "effects/ScreenFadePixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

constexpr int screenPixels = 512 * 384;

// A 512 x 384 target filled with one pixel value.
struct Screen {
    std::vector<std::uint32_t> memory;
    Bitmap bitmap;

    explicit Screen(std::uint32_t fill) : memory(screenPixels, fill) {
        bitmap.width = 512;
        bitmap.height = 384;
        bitmap.pixels = memory.data();
    }
    bool all(std::uint32_t value) const {
        return std::all_of(memory.begin(), memory.end(), [value](std::uint32_t p) { return p == value; });
    }
};

// Draws once at t = 0 with `position` preset and direction 0, so the frame draws at `position`.
template <class Fade>
void drawAt(Fade& fade, Screen& screen, double position) {
    fade.setFadePosition(position);
    fade.setFadeDirection(0);
    fade.render(screen.bitmap, 0.0);
}

} // namespace

TEST(ScreenFade, FirstFrameMovesNothing) {
    FadeToBlackLayer fade;
    Screen screen(0);
    fade.setFadePosition(0.25);
    fade.setFadeTime(1.0);
    fade.setFadeDirection(1);
    fade.render(screen.bitmap, 3.0);
    EXPECT_EQ(fade.fadePosition(), 0.25);
    fade.render(screen.bitmap, 3.5);
    EXPECT_EQ(fade.fadePosition(), 0.75);
}

TEST(ScreenFade, PositionOutsideRangeIsClampedBeforeDrawing) {
    FadeToBlackLayer black;
    Screen screen(0x12345678);
    drawAt(black, screen, 1.7);
    EXPECT_EQ(black.fadePosition(), 1.0);
    // (b * 255) >> 8 per byte: 0x12 -> 0x11, 0x34 -> 0x33, 0x56 -> 0x55, 0x78 -> 0x77.
    EXPECT_TRUE(screen.all(0x11335577));
    drawAt(black, screen, -0.3);
    EXPECT_EQ(black.fadePosition(), 0.0);
    EXPECT_TRUE(screen.all(0));
}

TEST(ScreenFade, DirectionZeroHoldsAndStillDraws) {
    FadeToWhiteLayer white;
    Screen screen(0);
    white.setFadePosition(0.5);
    white.setFadeTime(1.0);
    white.setFadeDirection(0);
    for (double t : {0.0, 1.0, 5.0}) {
        std::fill(screen.memory.begin(), screen.memory.end(), 0u);
        white.render(screen.bitmap, t);
        EXPECT_EQ(white.fadePosition(), 0.5);
        EXPECT_TRUE(screen.all(0x80808080)); // f = 128 added to every byte
    }
}

TEST(ScreenFade, ReachesOneOnFirstFrameAfterItsTime) {
    FadeToBlackLayer fade;
    Screen screen(0);
    fade.setFadePosition(0.0);
    fade.setFadeTime(1.0);
    fade.setFadeDirection(1);
    fade.render(screen.bitmap, 10.0);
    fade.render(screen.bitmap, 10.5);
    EXPECT_EQ(fade.fadePosition(), 0.5);
    fade.render(screen.bitmap, 11.25);
    EXPECT_EQ(fade.fadePosition(), 1.0);
}

TEST(ScreenFade, PositionIsTheFrameByFrameSum) {
    // A seven-second fade at 60 frames a second: the position is the running sum of the steps,
    // which is not the same double as elapsed / 7.
    FadeToBlackLayer fade;
    Screen screen(0);
    fade.setFadePosition(0.0);
    fade.setFadeTime(7.0);
    fade.setFadeDirection(1);
    double rate = 1.0 / 7.0, expected = 0.0, last = 0.0;
    for (int frame = 0; frame <= 420; ++frame) {
        double t = frame / 60.0;
        fade.render(screen.bitmap, t);
        expected = std::clamp(1.0 * rate * (t - last) + expected, 0.0, 1.0);
        last = t;
        ASSERT_EQ(fade.fadePosition(), expected) << "frame " << frame;
    }
}

TEST(ScreenFade, AbsentTimeMovesPositionOnReturn) {
    FadeToWhiteLayer fade;
    Screen screen(0);
    fade.setFadeTime(4.0);
    fade.render(screen.bitmap, 1.0);
    fade.render(screen.bitmap, 2.0);
    EXPECT_EQ(fade.fadePosition(), 0.25);
    // Not drawn for two seconds, then drawn again: the whole gap counts.
    fade.render(screen.bitmap, 4.0);
    EXPECT_EQ(fade.fadePosition(), 0.75);
    fade.setFadeDirection(-1);
    fade.render(screen.bitmap, 10.0);
    EXPECT_EQ(fade.fadePosition(), 0.0);
}

TEST(FadeToBlackLayer, ExactBytes) {
    FadeToBlackLayer fade;
    {
        Screen screen(0xFFFFFFFF);
        drawAt(fade, screen, 0.0);
        EXPECT_TRUE(screen.all(0)); // top byte too
    }
    {
        // Position 1: f = (8192 - cos(4096)) >> 6 = (8192 + 8191) >> 6 = 255.
        Screen screen(0xFF01807F);
        drawAt(fade, screen, 1.0);
        EXPECT_TRUE(screen.all(0xFE007F7E));
    }
    {
        // Position 0.5: cos(2048) = 0, f = 128.
        Screen screen(0xFF800001);
        drawAt(fade, screen, 0.5);
        EXPECT_TRUE(screen.all(0x7F400000));
    }
    {
        // Position 0.25: cos(1024) = 5792, f = 2400 >> 6 = 37; 0xC8 = 200 -> 7400 >> 8 = 28.
        Screen screen(0x00C8C8C8);
        drawAt(fade, screen, 0.25);
        EXPECT_TRUE(screen.all(0x001C1C1C));
    }
}

TEST(FadeToWhiteLayer, ExactBytes) {
    FadeToWhiteLayer fade;
    {
        Screen screen(0x00123456);
        drawAt(fade, screen, 0.0);
        EXPECT_TRUE(screen.all(0x00123456)); // untouched
    }
    {
        Screen screen(0x00123456);
        drawAt(fade, screen, 1.0);
        EXPECT_TRUE(screen.all(0xFFFFFFFF));
    }
    {
        // A tiny position: f = 0, g = 255, each byte (b * 255) >> 8.
        Screen screen(0xFF01807F);
        drawAt(fade, screen, 1e-9);
        EXPECT_TRUE(screen.all(0xFE007F7E));
    }
    {
        // f = 128, g = 127: 0xFF -> 126 + 128, 0x80 -> 63 + 128, 0x00 -> 128, 0x01 -> 128.
        Screen screen(0xFF800001);
        drawAt(fade, screen, 0.5);
        EXPECT_TRUE(screen.all(0xFEBF8080));
    }
}

TEST(ScreenFadePixels, Sse2MatchesScalarForEveryWeight) {
    std::mt19937 generator(20240601);
    std::vector<std::uint32_t> source(1027); // not a multiple of four: the tail runs too
    for (std::uint32_t& pixel : source)
        pixel = generator();
    source[0] = 0xFFFFFFFF;
    source[1] = 0;
    for (int weight = 0; weight <= 255; ++weight) {
        std::vector<std::uint32_t> reference = source, fast = source;
        darkenPixelsScalar(reference.data(), reference.size(), weight);
        darkenPixelsSse2(fast.data(), fast.size(), weight);
        ASSERT_EQ(reference, fast) << "darken, weight " << weight;
        reference = source;
        fast = source;
        whitenPixelsScalar(reference.data(), reference.size(), weight);
        whitenPixelsSse2(fast.data(), fast.size(), weight);
        ASSERT_EQ(reference, fast) << "whiten, weight " << weight;
    }
}
