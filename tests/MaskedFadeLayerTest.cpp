#include "effects/MaskedFadeLayer.h"

#include "EffectTestSupport.h"

#include <gtest/gtest.h>

namespace {

struct MaskedFadeScene {
    MaskedFadeScene()
        : from(512, 384), to(512, 384), screen(512, 384), fromMask(screenPixelCount),
          toMask(screenPixelCount) {}
    MaskedFadeLayer makeLayer() {
        return MaskedFadeLayer(from.bitmap, to.bitmap, fromMask.data(), toMask.data());
    }
    TestPicture from, to, screen;
    std::vector<std::uint8_t> fromMask, toMask;
};

} // namespace

TEST(MaskedFadeLayer, FirstPairIsCompositedThroughItsMask) {
    MaskedFadeScene scene;
    scene.screen[0] = 0xFFFF0100, scene.fromMask[0] = 0; // mask 0: the screen loses one step
    scene.from[1] = 0xFFFF0100, scene.fromMask[1] = 255; // mask 255: the picture loses one step
    scene.screen[2] = 0x00FF8001, scene.from[2] = 0x000080FF, scene.fromMask[2] = 128;
    MaskedFadeLayer layer = scene.makeLayer();
    layer.render(scene.screen.bitmap, 2.0);
    EXPECT_EQ(scene.screen[0], 0x00FE0000u);
    EXPECT_EQ(scene.screen[1], 0x00FE0000u);
    // red 255 * 127 >> 8 = 126; green 128 * 127 >> 8 = 63 plus 128 * 128 >> 8 = 64; blue 0 + 127
    EXPECT_EQ(scene.screen[2], 0x007E7F7Fu);
}

TEST(MaskedFadeLayer, ScreenCompositedOverItselfTruncatesEachHalf) {
    MaskedFadeScene scene;
    std::fill(scene.screen.storage.begin(), scene.screen.storage.end(), 0xFFFFFFFF);
    std::fill(scene.fromMask.begin(), scene.fromMask.end(), 128);
    MaskedFadeLayer layer(scene.screen.bitmap, scene.to.bitmap, scene.fromMask.data(), scene.toMask.data());
    layer.render(scene.screen.bitmap, 0.0);
    // 255 * 127 >> 8 = 126 plus 255 * 128 >> 8 = 127; the top byte is cleared.
    EXPECT_EQ(scene.screen[777], 0x00FDFDFDu);
}

TEST(MaskedFadeLayer, MidFadeTruncatesEveryProductOnItsOwn) {
    MaskedFadeScene scene;
    scene.from[9] = 0x00FF0000, scene.fromMask[9] = 255;
    scene.to[9] = 0x000000FF, scene.toMask[9] = 0;
    scene.screen[9] = 0xFF808080;
    MaskedFadeLayer layer = scene.makeLayer();
    layer.setFadeTime(2.0);
    layer.render(scene.screen.bitmap, 0.0);
    scene.screen[9] = 0xFF808080;
    layer.render(scene.screen.bitmap, 1.0); // position 0.5: f = 128, g = 127
    // colour: red 255 * 127 >> 8 = 126, blue 255 * 128 >> 8 = 127; mask (255 * 127) >> 8 = 126.
    // red 128 * 129 >> 8 = 64 plus 126 * 126 >> 8 = 62; green 64; blue 64 plus 127 * 126 >> 8 = 62
    // (64.5 + 62.5 would give 127 if the halves were summed before truncating).
    EXPECT_EQ(scene.screen[9], 0x007E407Eu);
}

TEST(MaskedFadeLayer, ReachesTheSecondPairAfterItsFadeTime) {
    MaskedFadeScene scene;
    std::fill(scene.to.storage.begin(), scene.to.storage.end(), 0x00FFFFFF);
    std::fill(scene.toMask.begin(), scene.toMask.end(), 255);
    MaskedFadeLayer layer = scene.makeLayer();
    layer.setFadeTime(4.0);
    for (double t = 1.0; t <= 5.0; t += 1.0)
        layer.render(scene.screen.bitmap, t);
    EXPECT_EQ(layer.position, 1.0);
    EXPECT_EQ(scene.screen[12345], 0x00FEFEFEu);
    layer.render(scene.screen.bitmap, 6.0);
    EXPECT_EQ(scene.screen[12345], 0x00FEFEFEu);
}

TEST(MaskedFadeLayer, VectorLoopsMatchThePlainLoop) {
    MaskedFadeScene scene;
    fillRandom(scene.from.storage, 31);
    fillRandom(scene.to.storage, 32);
    scene.fromMask = randomBytes(screenPixelCount, 33);
    scene.toMask = randomBytes(screenPixelCount, 34);
    std::vector<std::uint32_t> background(screenPixelCount);
    fillRandom(background, 35);
    for (double position : {0.0, 0.41, 0.93, 1.0}) {
        expectVectorLevelsMatchPlain(
            [&] {
                scene.screen.storage = background;
                MaskedFadeLayer layer = scene.makeLayer();
                layer.position = position;
                layer.render(scene.screen.bitmap, 0.0);
                return scene.screen.storage;
            },
            "position " + std::to_string(position));
    }
}
