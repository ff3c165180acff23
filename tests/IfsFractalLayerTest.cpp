#include "effects/IfsFractalLayer.h"
#include "core/Random.h"
#include "core/SimdLevel.h"
#include "platform/ptc/Error.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Picture {
    std::vector<std::uint32_t> memory;
    Bitmap bitmap;
    Picture(int width, int height, std::uint32_t fill = 0)
        : memory(static_cast<std::size_t>(width) * height, fill) {
        bitmap.width = width;
        bitmap.height = height;
        bitmap.pixels = memory.data();
    }
};

// Palette entry i is 0x00FF00 + i in blue, 255 - i in red.
Picture rampPalette() {
    Picture palette(16, 16);
    for (int i = 0; i < 256; ++i)
        palette.memory[i] =
            (static_cast<std::uint32_t>(255 - i) << 16) | 0xFF00 | static_cast<std::uint32_t>(i);
    return palette;
}

// floor(c * 255 / 256) per channel.
std::uint32_t nearlyFull(std::uint32_t colour) {
    std::uint32_t result = 0;
    for (int shift = 0; shift < 24; shift += 8)
        result |= (((colour >> shift) & 0xFF) * 255 / 256) << shift;
    return result;
}

} // namespace

TEST(IfsFractalLayer, RejectsPalettePicturesBelow256Pixels) {
    Picture small(15, 17); // 255 pixels
    try {
        IfsFractalLayer layer(10, small.bitmap);
        FAIL() << "accepted a palette of 255 pixels";
    } catch (const ptc::DynamicError& error) {
        std::string message = error.what();
        EXPECT_NE(message.find("256"), std::string::npos) << message;
        EXPECT_NE(message.find("15 x 17"), std::string::npos) << message;
    }
    Bitmap unfilled;
    EXPECT_THROW(IfsFractalLayer(10, unfilled), ptc::DynamicError);
    Picture enough(256, 1);
    EXPECT_NO_THROW(IfsFractalLayer(10, enough.bitmap));
}

TEST(IfsFractalLayer, PaletteBeforeAnyShiftIsTheFirst256PixelsScaledBy255) {
    Picture palette = rampPalette();
    IfsFractalLayer layer(0, palette.bitmap);
    auto colours = layer.blendedPalette();
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(colours[i], nearlyFull(palette.memory[i])) << i;
    EXPECT_EQ(colours[0], 0xFEFE00u);
    EXPECT_EQ(colours[255], 0x00FEFEu);
}

TEST(IfsFractalLayer, ShiftFadesFromTheOldToTheNewOffset) {
    Picture palette = rampPalette();
    IfsFractalLayer layer(0, palette.bitmap);
    layer.shiftPalette();
    EXPECT_EQ(layer.paletteOffset, 157);
    EXPECT_EQ(layer.oldPaletteOffset, 0);
    EXPECT_EQ(layer.paletteBlend, 0.0);

    // The first frame after the shift still shows the old palette.
    Picture screen(512, 384);
    layer.render(screen.bitmap, 5.0);
    auto first = layer.blendedPalette();
    EXPECT_EQ(first[0], nearlyFull(palette.memory[0]));

    // Halfway (cos 2048 = 0): new weight 128, old 127. Entry 0 mixes pixel 0 (red 255, blue 0)
    // with pixel 157 (red 98, blue 157): red 255 * 127 / 256 + 98 * 128 / 256 = 126 + 49.
    layer.paletteBlend = 0.5;
    auto half = layer.blendedPalette();
    EXPECT_EQ(half[0], (175u << 16) | (126u + 127u) << 8 | 78u);

    // Half a layer second later (1/4.6 s) the blend has passed 1.0; the next frame settles it.
    layer.paletteBlend = 0.0;
    layer.render(screen.bitmap, 5.0 + 1.1 / 2.3);
    EXPECT_GE(layer.paletteBlend, 1.0);
    layer.render(screen.bitmap, 5.0 + 1.2 / 2.3);
    EXPECT_EQ(layer.paletteBlend, 1.0);
    auto settled = layer.blendedPalette();
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(settled[i], nearlyFull(palette.memory[(157 + i) & 255])) << i;
}

TEST(IfsFractalLayer, SpreadDecaysTo07AndStays) {
    Picture palette = rampPalette();
    Picture screen(512, 384);
    IfsFractalLayer layer(0, palette.bitmap);
    layer.render(screen.bitmap, 1.0);
    EXPECT_DOUBLE_EQ(layer.spread, 0.891);
    for (int frame = 2; frame <= 26; ++frame)
        layer.render(screen.bitmap, frame);
    EXPECT_GT(layer.spread, 0.69);
    EXPECT_LT(layer.spread, 0.7);
    layer.render(screen.bitmap, 27.0);
    EXPECT_EQ(layer.spread, 0.7);
}

TEST(IfsFractalLayer, NoPointsDrawsNothingButStillResetsTheGenerator) {
    Picture palette = rampPalette();
    Picture screen(512, 384, 0x00123456);
    IfsFractalLayer layer(0, palette.bitmap);
    randomState = 12345;
    layer.render(screen.bitmap, 3.0);
    EXPECT_EQ(randomState, 0u);
    for (std::uint32_t pixel : screen.memory)
        ASSERT_EQ(pixel, 0x00123456u);
}

TEST(IfsFractalLayer, EveryFrameRestartsTheSameRandomSequence) {
    Picture palette = rampPalette();
    IfsFractalLayer layer(4000, palette.bitmap);
    Picture first(512, 384), second(512, 384);
    randomState = 777;
    layer.render(first.bitmap, 2.0);
    std::uint32_t after = randomState;
    randomState = 0;
    for (int i = 0; i < 4000; ++i)
        nextRandom(256);
    EXPECT_EQ(after, randomState);

    // Same time, same spread: the same picture whatever the generator held before.
    IfsFractalLayer again(4000, palette.bitmap);
    randomState = 99;
    again.render(second.bitmap, 2.0);
    EXPECT_EQ(first.memory, second.memory);
    int lit = 0;
    for (std::uint32_t pixel : first.memory)
        lit += pixel != 0;
    EXPECT_GT(lit, 100);
}

TEST(IfsFractalLayer, DivergingPointsDrawSafely) {
    // Coefficients a million times too large send the point to infinity and then to NaN within a
    // few steps; the frame must still finish and only touch the screen.
    Picture palette = rampPalette();
    Picture screen(512, 384);
    IfsFractalLayer layer(2000, palette.bitmap);
    layer.spread = 1e6;
    layer.render(screen.bitmap, 1.0);
    layer.spread = 1e300;
    layer.render(screen.bitmap, 2.0);
    SUCCEED();
}

namespace {

// Restores the vector level a test lowered.
struct SimdLevelGuard {
    SimdLevel saved = simdLevel();
    ~SimdLevelGuard() { setSimdLevel(saved); }
};

// Frames at the given level from a seeded screen: the pixels and the generator state after each.
std::vector<std::uint32_t> cloudFrames(SimdLevel level, int points, double spread,
                                       std::uint32_t* stateAfter) {
    setSimdLevel(level);
    Picture palette = rampPalette();
    IfsFractalLayer layer(points, palette.bitmap);
    Picture screen(512, 384);
    std::uint32_t seed = 12345;
    for (std::uint32_t& pixel : screen.memory)
        pixel = seed = seed * 1664525u + 1013904223u;
    std::vector<std::uint32_t> frames;
    for (double seconds : {0.5, 7.25, 130.0}) {
        layer.spread = spread;
        layer.render(screen.bitmap, seconds);
        frames.insert(frames.end(), screen.memory.begin(), screen.memory.end());
    }
    *stateAfter = randomState;
    return frames;
}

} // namespace

TEST(IfsFractalLayer, BlockedAndVectorPathsMatchThePlainLoop) {
    SimdLevelGuard guard;
    // Ordinary clouds, and clouds so spread out that points leave the int32 range and diverge.
    for (double spread : {0.9, 3.0, 1e6}) {
        std::uint32_t plainState = 0, fastState = 0, vectorState = 0;
        std::vector<std::uint32_t> plain = cloudFrames(SimdLevel::plain, 9001, spread, &plainState);
        std::vector<std::uint32_t> blocked = cloudFrames(SimdLevel::sse2, 9001, spread, &fastState);
        EXPECT_TRUE(plain == blocked) << "spread " << spread;
        EXPECT_EQ(plainState, fastState);
        if (supportedSimdLevel() == SimdLevel::avx2) {
            std::vector<std::uint32_t> vector = cloudFrames(SimdLevel::avx2, 9001, spread, &vectorState);
            EXPECT_TRUE(plain == vector) << "spread " << spread;
            EXPECT_EQ(plainState, vectorState);
        }
    }
}
