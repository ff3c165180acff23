#include "core/Random.h"
#include "effects/LoadingGaugeLayer.h"
#include "platform/ptc/Error.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

namespace {

struct Picture {
    std::vector<std::uint32_t> memory;
    Bitmap bitmap;

    Picture(int width, int height, std::uint32_t fill) : memory(std::size_t(width) * height, fill) {
        bitmap.width = width;
        bitmap.height = height;
        bitmap.pixels = memory.data();
    }
    std::uint32_t at(int x, int y) const { return memory[std::size_t(y) * bitmap.width + x]; }
};

// Every pixel that differs from `fill`, by (x, y).
std::map<std::pair<int, int>, std::uint32_t> touched(const Picture& picture, std::uint32_t fill) {
    std::map<std::pair<int, int>, std::uint32_t> result;
    for (int y = 0; y < picture.bitmap.height; ++y)
        for (int x = 0; x < picture.bitmap.width; ++x)
            if (picture.at(x, y) != fill)
                result[{x, y}] = picture.at(x, y);
    return result;
}

// The state after `draws` more calls of the generator.
std::uint32_t stateAfter(std::uint32_t state, int draws) {
    std::uint32_t saved = randomState;
    randomState = state;
    for (int i = 0; i < draws; ++i)
        nextRandom(2000);
    std::uint32_t result = randomState;
    randomState = saved;
    return result;
}

// A gradient picture, so a copy is told apart from a fill.
Picture gradientPicture() {
    Picture picture(512, 384, 0);
    for (std::size_t i = 0; i < picture.memory.size(); ++i)
        picture.memory[i] = static_cast<std::uint32_t>(i * 2654435761u) & 0xFFFFFF;
    return picture;
}

} // namespace

TEST(LoadingGaugeLayer, RefusesPictureOfWrongSize) {
    Picture wrong(512, 512, 0);
    try {
        LoadingGaugeLayer gauge(wrong.bitmap);
        FAIL() << "accepted a 512 x 512 picture";
    } catch (const ptc::DynamicError& error) {
        EXPECT_STREQ(error.what(), "loading picture must be 512 x 384, not 512 x 512");
    }
}

TEST(LoadingGaugeLayer, NoProgressIsAnExactCopy) {
    Picture picture = gradientPicture();
    LoadingGaugeLayer gauge(picture.bitmap);
    std::uint32_t state = randomState;
    for (double progress : {0.0, -1.0}) {
        Picture target(512, 384, 0xDEADBEEF);
        gauge.render(target.bitmap, progress);
        EXPECT_EQ(target.memory, picture.memory) << "progress " << progress;
    }
    EXPECT_EQ(randomState, state);
}

TEST(LoadingGaugeLayer, SpokeCountFollowsProgress) {
    // 128 glow copies of four draws each: 512 draws per spoke.
    Picture picture(512, 384, 0);
    LoadingGaugeLayer gauge(picture.bitmap);
    Picture target(512, 384, 0);
    for (auto [progress, spokes] : {std::pair{0.005, 1}, {0.01, 1}, {0.011, 2}, {0.5, 50}, {1.0, 100}}) {
        std::uint32_t before = randomState;
        gauge.render(target.bitmap, progress);
        EXPECT_EQ(randomState, stateAfter(before, spokes * 512)) << "progress " << progress;
    }
}

TEST(LoadingGaugeLayer, FirstSpokePointsDownFromTheCentre) {
    Picture picture(512, 384, 0);
    LoadingGaugeLayer gauge(picture.bitmap);
    Picture target(512, 384, 0);
    gauge.render(target.bitmap, 0.005);
    // The bright line runs down column 384 from row 224 to 240 and adds 0x7EFE in full: the glow
    // copies can only add to it.
    for (int y = 225; y < 240; ++y) {
        EXPECT_GE(target.at(384, y) & 0xFF, 0xFEu) << "row " << y;
        EXPECT_GE((target.at(384, y) >> 8) & 0xFF, 0x7Eu) << "row " << y;
        EXPECT_EQ(target.at(384, y) >> 16, 0xFF00u) << "red stays 0, top byte set";
    }
    // The glow's random walk keeps within about 125 pixels of the spoke.
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 512; ++x)
            ASSERT_EQ(target.at(x, y), 0u) << x << ", " << y;
}

TEST(LoadingGaugeLayer, VerticalSpokeLinePixels) {
    // The first spoke's bright line: (384, 224) to (384, 240) in 22.10, dx = 0, so stepped by rows.
    // Ends: gap 511 and 512, fraction 0: weight ((1023 * gap) >> 10) >> 2 = 127 on column 384 and
    // 0 on column 385. Middle rows: 255 and 0. Colour 0x007FFF at 127 adds 0x3F7E, at 255 0x7EFE.
    Picture target(512, 384, 0);
    LoadingGaugeLayer::drawLine(target.bitmap, 384 << 10, 229376, 384 << 10, 245760, 0x007FFF);
    std::map<std::pair<int, int>, std::uint32_t> expected;
    expected[{384, 224}] = 0xFF003F7E;
    expected[{385, 224}] = 0xFF000000; // a zero weight still marks the top byte
    for (int y = 225; y < 240; ++y) {
        expected[{384, y}] = 0xFF007EFE;
        expected[{385, y}] = 0xFF000000;
    }
    expected[{384, 240}] = 0xFF003F7E;
    expected[{385, 240}] = 0xFF000000;
    EXPECT_EQ(touched(target, 0), expected);
}

TEST(LoadingGaugeLayer, ShortShallowLinePixels) {
    // (1.25, 2.5) to (4.75, 3.5) pixels: dx = 3584, dy = 1024, gradient (int)(1024 / 3584 * 1024)
    // = 292. First end: column 1, yEnd = 2560 + (-256 * 292 >> 10) = 2487 (row 2, fraction 439),
    // gap 255: weights 27 below, 36 on. Middle: 2779 -> column 2 row 2 e 182; 3071 -> column 3
    // row 2 e 255; 3363 -> column 4 row 3 e 72. Last end: column 5, yEnd 3657 (row 3, fraction
    // 585), gap 256: weights 36 below, 27 on. Blue 255 at weight w adds (255 * w) >> 8.
    std::map<std::pair<int, int>, std::uint32_t> expected = {
        {{1, 2}, 0xFF000023}, {{1, 3}, 0xFF00001A}, {{2, 2}, 0xFF000048}, {{2, 3}, 0xFF0000B5},
        {{3, 2}, 0xFF000000}, {{3, 3}, 0xFF0000FE}, {{4, 3}, 0xFF0000B6}, {{4, 4}, 0xFF000047},
        {{5, 3}, 0xFF00001A}, {{5, 4}, 0xFF000023}};
    for (bool reversed : {false, true}) {
        Picture target(8, 6, 0);
        if (reversed)
            LoadingGaugeLayer::drawLine(target.bitmap, 4864, 3584, 1280, 2560, 0x0000FF);
        else
            LoadingGaugeLayer::drawLine(target.bitmap, 1280, 2560, 4864, 3584, 0x0000FF);
        EXPECT_EQ(touched(target, 0), expected) << (reversed ? "reversed" : "forward");
    }
}

TEST(LoadingGaugeLayer, LineEdgeCases) {
    {
        Picture target(8, 6, 0);
        LoadingGaugeLayer::drawLine(target.bitmap, 3000, 3000, 3000, 3000, 0xFFFFFF);
        EXPECT_TRUE(touched(target, 0).empty()) << "coinciding ends draw nothing";
    }
    {
        // Both ends in column 2: the two ends only, no middle run.
        Picture target(8, 6, 0);
        LoadingGaugeLayer::drawLine(target.bitmap, 2100, 2048, 2500, 2148, 0x0000FF);
        for (auto& [at, pixel] : touched(target, 0))
            EXPECT_EQ(at.first, 2) << "column " << at.first << " row " << at.second;
    }
    {
        // Column 0 and row 0 are never drawn, nor anything outside.
        Picture target(8, 6, 0);
        LoadingGaugeLayer::drawLine(target.bitmap, -4096, 0, 12000, 300, 0xFFFFFF);
        LoadingGaugeLayer::drawLine(target.bitmap, 0, -3000, 200, 9000, 0xFFFFFF);
        for (auto& [at, pixel] : touched(target, 0))
            EXPECT_TRUE(at.first >= 1 && at.second >= 1) << at.first << ", " << at.second;
    }
    {
        // Many copies saturate each channel at 255.
        Picture target(8, 6, 0);
        for (int i = 0; i < 200; ++i)
            LoadingGaugeLayer::drawLine(target.bitmap, 1024, 2048, 6144, 2048, 0x000307);
        // Each copy adds green 2 and blue 6 at full weight on row 2.
        EXPECT_EQ(target.at(3, 2), 0xFF00FFFFu);
    }
}
