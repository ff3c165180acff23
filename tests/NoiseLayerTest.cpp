#include "effects/NoiseLayer.h"

#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <bit>

namespace {

// The static generator written out again from its definition.
struct StaticDraws {
    std::uint32_t state = 13985765;
    std::uint32_t next() {
        state = std::rotl(state ^ 157u, 11) + 157u;
        return state & 0xFF;
    }
};

} // namespace

TEST(NoiseLayer, PositionZeroLeavesTheScreenAndTheGeneratorAlone) {
    TestPicture screen(512, 384);
    fillRandom(screen.storage, 101);
    std::vector<std::uint32_t> before = screen.storage;
    NoiseLayer layer;
    layer.render(screen.bitmap, 1.0);
    layer.setFadePosition(-0.5);
    layer.render(screen.bitmap, 2.0);
    EXPECT_EQ(screen.storage, before);
    EXPECT_EQ(layer.noiseState, 13985765u);
    EXPECT_EQ(layer.fadePosition(), 0.0);
}

TEST(NoiseLayer, FullPositionIsPureStaticThatNeverRepeats) {
    TestPicture screen(512, 384, 0x12345678);
    NoiseLayer layer;
    layer.setFadePosition(1.0);
    StaticDraws draws;
    for (int frame = 0; frame < 2; ++frame) {
        layer.render(screen.bitmap, frame * 0.1);
        for (int n = 0; n < screenPixelCount; ++n) {
            std::uint32_t grey = draws.next();
            ASSERT_EQ(screen[n], grey * 0x01010101u) << "frame " << frame << " pixel " << n;
        }
    }
    EXPECT_EQ(layer.noiseState, draws.state);
}

TEST(NoiseLayer, RisesToItsLimitAndMixesAFifthOfStatic) {
    TestPicture screen(512, 384);
    NoiseLayer layer;
    layer.setFadeLimit(0.3);
    layer.setFadeTime(1.0);
    layer.setFadeDirection(1);
    for (double t = 0.0; t < 0.55; t += 0.1)
        layer.render(screen.bitmap, t);
    EXPECT_EQ(layer.fadePosition(), 0.3);
    // Frames 0.1 .. 0.5 each drew 196,608 values; check the last frame on a known screen.
    std::fill(screen.storage.begin(), screen.storage.end(), 0x00C80000);
    std::uint32_t state = layer.noiseState;
    layer.render(screen.bitmap, 0.6);
    // (int)(0.3 * 4096) = 1228, k = (8192 - cos(1228)) >> 6 = 52, a = 203.
    StaticDraws draws{state};
    for (int n = 0; n < 8; ++n) {
        std::uint32_t noise = draws.next() * 52;
        std::uint32_t expected =
            (noise >> 8) << 24 | ((200 * 203 + noise) >> 8) << 16 | (noise >> 8) << 8 | (noise >> 8);
        EXPECT_EQ(screen[n], expected) << n;
    }
}

TEST(NoiseLayer, LimitClampsAPositionSetAboveIt) {
    TestPicture screen(512, 384);
    NoiseLayer layer;
    layer.setFadeLimit(0.3);
    layer.setFadePosition(1.0);
    layer.render(screen.bitmap, 0.0);
    EXPECT_EQ(layer.fadePosition(), 0.3);
    std::uint32_t grey = StaticDraws{}.next();
    EXPECT_EQ(screen[0], (grey * 52 >> 8) * 0x01010101u); // k = 52 on black, not pure static
}

TEST(NoiseLayer, FlashFadesOutOverItsTime) {
    TestPicture screen(512, 384);
    NoiseLayer layer;
    layer.setFadePosition(1.0);
    layer.setFadeTime(2.0);
    layer.setFadeDirection(-1);
    layer.render(screen.bitmap, 10.0);
    EXPECT_EQ(layer.fadePosition(), 1.0);
    layer.render(screen.bitmap, 11.0);
    EXPECT_EQ(layer.fadePosition(), 0.5);
    // k = (8192 - cos(2048)) >> 6 = 128 on a white screen: (255 * 127 + grey * 128) >> 8.
    std::fill(screen.storage.begin(), screen.storage.end(), 0xFFFFFFFF);
    StaticDraws draws{layer.noiseState};
    layer.render(screen.bitmap, 11.0);
    std::uint32_t grey = draws.next();
    EXPECT_EQ(screen[0], ((255 * 127 + grey * 128) >> 8) * 0x01010101u);
    layer.render(screen.bitmap, 12.5);
    EXPECT_EQ(layer.fadePosition(), 0.0);
}

TEST(NoiseLayer, VectorPathMatchesThePlainPath) {
    TestPicture screen(512, 384);
    std::vector<std::uint32_t> background(screenPixelCount);
    fillRandom(background, 111);
    for (double position : {0.05, 0.5, 0.97}) {
        expectVectorLevelsMatchPlain(
            [&] {
                screen.storage = background;
                NoiseLayer layer;
                layer.setFadePosition(position);
                layer.render(screen.bitmap, 0.0);
                std::vector<std::uint32_t> result = screen.storage;
                result.push_back(layer.noiseState);
                return result;
            },
            "position " + std::to_string(position));
    }
}
