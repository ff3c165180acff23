#include "effects/CrossFadeLayer.h"
#include "platform/ptc/Error.h"

#include "EffectTestSupport.h"

#include <gtest/gtest.h>

namespace {

struct CrossFadeScene {
    CrossFadeScene() : from(512, 384, 0x00C8C8C8), to(512, 384, 0x00646464), screen(512, 384, 0x11111111) {}
    TestPicture from, to, screen;
};

} // namespace

TEST(CrossFadeLayer, ShowsFromUntilAFadeTimeIsSet) {
    CrossFadeScene scene;
    CrossFadeLayer layer(scene.from.bitmap, scene.to.bitmap);
    layer.render(scene.screen.bitmap, 4.0);
    layer.render(scene.screen.bitmap, 9.0);
    EXPECT_EQ(scene.screen.storage, scene.from.storage);
    // With the screen as `from` nothing is written.
    CrossFadeLayer onScreen(scene.screen.bitmap, scene.to.bitmap);
    scene.screen[5] = 0xABCDEF01;
    onScreen.render(scene.screen.bitmap, 1.0);
    EXPECT_EQ(scene.screen[5], 0xABCDEF01u);
}

TEST(CrossFadeLayer, BlendsEveryByteAtChosenPositions) {
    CrossFadeScene scene;
    scene.from[0] = 0xFFFFFFFF, scene.to[0] = 0x00000000;
    CrossFadeLayer layer(scene.from.bitmap, scene.to.bitmap);
    layer.setFadeDirection(0);
    // 0.5: f = (8192 - cos(2048)) >> 6 = 128, g = 127.
    layer.setFadePosition(0.5);
    layer.render(scene.screen.bitmap, 0.0);
    EXPECT_EQ(scene.screen[0], 0x7E7E7E7Eu); // 255 * 127 >> 8 = 126
    EXPECT_EQ(scene.screen[1], 0x00959595u); // (200 * 127 + 100 * 128) >> 8 = 149
    // 0.25: cos(1024) = 5792, f = 2400 >> 6 = 37, g = 218.
    layer.setFadePosition(0.25);
    layer.render(scene.screen.bitmap, 0.0);
    EXPECT_EQ(scene.screen[0], 0xD9D9D9D9u); // 255 * 218 >> 8 = 217
    EXPECT_EQ(scene.screen[1], 0x00B8B8B8u); // (43,600 + 3,700) >> 8 = 184
}

TEST(CrossFadeLayer, TinyPositionLosesOneStepOnWhite) {
    CrossFadeScene scene;
    scene.from[3] = 0xFFFFFFFF;
    CrossFadeLayer layer(scene.from.bitmap, scene.to.bitmap);
    layer.setFadePosition(1e-9); // i = 0, f = 0, g = 255
    layer.render(scene.screen.bitmap, 0.0);
    EXPECT_EQ(scene.screen[3], 0xFEFEFEFEu);
    EXPECT_EQ(scene.screen[4], 0x00C7C7C7u); // 200 * 255 >> 8 = 199
}

TEST(CrossFadeLayer, ReachesTargetExactlyAfterFadeTimeAndComesBack) {
    CrossFadeScene scene;
    fillRandom(scene.to.storage, 5);
    CrossFadeLayer layer(scene.from.bitmap, scene.to.bitmap);
    layer.setFadeTime(2.0);
    layer.setFadeDirection(1);
    for (double t = 10.0; t <= 12.0; t += 0.5)
        layer.render(scene.screen.bitmap, t);
    EXPECT_EQ(layer.position, 1.0);
    EXPECT_EQ(scene.screen.storage, scene.to.storage); // a plain copy, no blend loss
    layer.render(scene.screen.bitmap, 13.0);
    EXPECT_EQ(layer.position, 1.0);
    layer.setFadeDirection(0);
    layer.render(scene.screen.bitmap, 14.0);
    EXPECT_EQ(layer.position, 1.0);
    layer.setFadeDirection(-1);
    layer.render(scene.screen.bitmap, 15.0);
    EXPECT_EQ(layer.position, 0.5);
    layer.render(scene.screen.bitmap, 30.0); // a long absence is cut off by the clamp
    EXPECT_EQ(layer.position, 0.0);
    EXPECT_EQ(scene.screen.storage, scene.from.storage);
}

TEST(CrossFadeLayer, FadesFromTheScreenItself) {
    CrossFadeScene scene;
    std::fill(scene.screen.storage.begin(), scene.screen.storage.end(), 0x00FF0080);
    CrossFadeLayer layer(scene.screen.bitmap, scene.to.bitmap);
    layer.setFadePosition(0.5);
    layer.render(scene.screen.bitmap, 0.0);
    // (255 * 127 + 100 * 128) >> 8 = 176; (0 + 12,800) >> 8 = 50; (128 * 127 + 12,800) >> 8 = 113
    EXPECT_EQ(scene.screen[1000], 0x00B03271u);
}

TEST(CrossFadeLayer, RefusesSmallPictures) {
    TestPicture good(512, 384), small(256, 256);
    EXPECT_THROW(CrossFadeLayer(good.bitmap, small.bitmap), ptc::DynamicError);
    EXPECT_THROW(CrossFadeLayer(small.bitmap, good.bitmap), ptc::DynamicError);
}

TEST(CrossFadeLayer, VectorLoopsMatchThePlainLoop) {
    CrossFadeScene scene;
    fillRandom(scene.from.storage, 21);
    fillRandom(scene.to.storage, 22);
    for (double position : {0.001, 0.3, 0.77, 0.9999}) {
        expectVectorLevelsMatchPlain(
            [&] {
                std::fill(scene.screen.storage.begin(), scene.screen.storage.end(), 0);
                CrossFadeLayer layer(scene.from.bitmap, scene.to.bitmap);
                layer.setFadePosition(position);
                layer.render(scene.screen.bitmap, 0.0);
                return scene.screen.storage;
            },
            "position " + std::to_string(position));
    }
}
