#include "effects/MaskedPictureLayer.h"
#include "effects/PictureLayer.h"
#include "platform/ptc/Error.h"

#include "EffectTestSupport.h"

#include <gtest/gtest.h>

TEST(PictureLayer, ReplacesTheScreenByteForByte) {
    TestPicture picture(512, 384);
    fillRandom(picture.storage, 1); // top bytes included
    TestPicture screen(512, 384, 0x12345678);
    PictureLayer layer(picture.bitmap);
    layer.render(screen.bitmap, 3.0);
    EXPECT_EQ(screen.storage, picture.storage);
    picture[7] = 0xDEADBEEF; // copied again every frame
    layer.render(screen.bitmap, 3.1);
    EXPECT_EQ(screen[7], 0xDEADBEEFu);
}

TEST(PictureLayer, RefusesAPictureOfTheWrongSize) {
    TestPicture small(512, 383), narrow(640, 480), tall(512, 512);
    EXPECT_THROW(PictureLayer{small.bitmap}, ptc::DynamicError);
    try {
        PictureLayer layer(narrow.bitmap);
        FAIL();
    } catch (const ptc::DynamicError& error) {
        EXPECT_STREQ(error.what(), "picture is 640 x 480 pixels, needs 512 x 384");
    }
    Bitmap unfilled;
    EXPECT_THROW(PictureLayer{unfilled}, ptc::DynamicError);
    EXPECT_NO_THROW(PictureLayer{tall.bitmap});
}

namespace {

struct MaskedPictureScene {
    MaskedPictureScene() : picture(512, 384), screen(512, 384), mask(screenPixelCount) {}
    TestPicture picture, screen;
    std::vector<std::uint8_t> mask;
};

} // namespace

TEST(MaskedPictureLayer, FullPositionBlendsEveryByteThroughTheMask) {
    MaskedPictureScene scene;
    scene.picture[0] = 0xFFFFFFFF, scene.mask[0] = 255, scene.screen[0] = 0x00000000;
    scene.picture[1] = 0xC8C8C8C8, scene.mask[1] = 128, scene.screen[1] = 0x64646464;
    scene.picture[2] = 0xFFFFFFFF, scene.mask[2] = 0, scene.screen[2] = 0xFF01FF80;
    MaskedPictureLayer layer(scene.picture.bitmap, scene.mask.data());
    layer.setFadePosition(1.0);
    layer.setFadeDirection(0);
    layer.render(scene.screen.bitmap, 0.0);
    EXPECT_EQ(scene.screen[0], 0xFEFEFEFEu); // 255 * 255 >> 8
    EXPECT_EQ(scene.screen[1], 0x95959595u); // (200 * 128 >> 8) + (100 * 127 >> 8) = 100 + 49
    EXPECT_EQ(scene.screen[2], 0xFE00FE7Fu); // mask 0 darkens by one step where bright
}

TEST(MaskedPictureLayer, PositionZeroDrawsNothingAndHalfwayScalesTheMask) {
    MaskedPictureScene scene;
    std::fill(scene.mask.begin(), scene.mask.end(), 200);
    std::fill(scene.picture.storage.begin(), scene.picture.storage.end(), 0x00FF8000);
    std::fill(scene.screen.storage.begin(), scene.screen.storage.end(), 0x00204060);
    MaskedPictureLayer layer(scene.picture.bitmap, scene.mask.data());
    layer.setFadeTime(2.0);
    layer.setFadeDirection(1);
    layer.render(scene.screen.bitmap, 10.0); // first frame: no time passes, position 0
    EXPECT_EQ(scene.screen[100], 0x00204060u);
    layer.render(scene.screen.bitmap, 11.0); // position 0.5: k = (8192 - cos(2048)) >> 6 = 128
    // m = 200 * 128 >> 8 = 100; per byte (p * 100 >> 8) + (s * 155 >> 8)
    std::uint32_t expected = ((0 + (0x00 * 155 >> 8)) << 24) | ((0xFF * 100 / 256 + 0x20 * 155 / 256) << 16) |
                             ((0x80 * 100 / 256 + 0x40 * 155 / 256) << 8) | (0 + 0x60 * 155 / 256);
    EXPECT_EQ(scene.screen[100], expected);
    EXPECT_DOUBLE_EQ(layer.position, 0.5);
}

TEST(MaskedPictureLayer, PositionIsClampedAndFadesInOverItsTime) {
    MaskedPictureScene scene;
    MaskedPictureLayer layer(scene.picture.bitmap, scene.mask.data());
    layer.setFadePosition(3.0);
    layer.setFadeTime(1.0);
    layer.setFadeDirection(-1);
    layer.render(scene.screen.bitmap, 5.0);
    EXPECT_EQ(layer.position, 1.0);
    layer.render(scene.screen.bitmap, 5.25);
    EXPECT_EQ(layer.position, 0.75);
    layer.render(scene.screen.bitmap, 7.0);
    EXPECT_EQ(layer.position, 0.0);
}

TEST(MaskedPictureLayer, VectorLoopsMatchThePlainLoop) {
    MaskedPictureScene scene;
    fillRandom(scene.picture.storage, 11);
    scene.mask = randomBytes(screenPixelCount, 12);
    std::vector<std::uint32_t> background(screenPixelCount);
    fillRandom(background, 13);
    for (double position : {0.37, 1.0}) {
        expectVectorLevelsMatchPlain(
            [&] {
                scene.screen.storage = background;
                MaskedPictureLayer layer(scene.picture.bitmap, scene.mask.data());
                layer.setFadePosition(position);
                layer.render(scene.screen.bitmap, 0.0);
                return scene.screen.storage;
            },
            "position " + std::to_string(position));
    }
}
