#include "effects/GridMapLayer.h"
#include "effects/FeedbackMapLayer.h"
#include "effects/SwirlMapLayer.h"
#include "platform/ptc/Error.h"

#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

// A mapper that shifts and stretches the texture so that a frame sweeps across the texture's last
// column and last rows, with fractional steps.
class SweepingMapLayer : public GridMapLayer {
  public:
    using GridMapLayer::GridMapLayer;
    void mapPoint(std::int32_t out[2], int x, int y, double) override {
        out[1] = x + (x >> 2) + 255 * 256 + 100;
        out[0] = y - (y >> 3) + 255 * 256 + 37;
    }
};

std::uint32_t texel(const TestPicture& texture, int row, int column) {
    return texture.storage[row * 512 + column];
}

} // namespace

TEST(GridMapLayer, BilinearFetchWeighsFourTexels) {
    TestPicture texture(512, 512);
    texture[10 * 512 + 20] = 0x00FF0000;
    texture[10 * 512 + 21] = 0x0000FF00;
    texture[11 * 512 + 20] = 0x000000FF;
    texture[11 * 512 + 21] = 0xFFFFFFFF;
    GridMapLayer layer(texture.bitmap);
    std::uint32_t out = 0;
    // fx = 64, fy = 128: w00 = 128 * 192 >> 8 = 96, w01 = 32, w10 = 96, w11 = 32.
    layer.samplePixel(20 * 256 + 64, 10 * 256 + 128, out);
    // red (96 + 32) * 255 >> 8 = 127, green (32 + 32) * 255 >> 8 = 63, blue (96 + 32) * 255 >> 8 = 127
    EXPECT_EQ(out, 0x007F3F7Fu);
    layer.samplePixel(21 * 256, 11 * 256, out); // no fraction: the texel itself, top byte dropped
    EXPECT_EQ(out, 0x00FFFFFFu);
}

TEST(GridMapLayer, FetchWrapsAtTexel511IntoTheNextRow) {
    TestPicture texture(512, 512);
    texture[5 * 512 + 511] = 0x00000080;
    texture[6 * 512 + 0] = 0x00800000; // memory's next texel is the right neighbour
    texture[5 * 512 + 0] = 0x0000FF00; // the same row's first texel is not
    texture[512] = 0x00FFFFFF;         // below-right of the very last texel: texel 512
    GridMapLayer layer(texture.bitmap);
    std::uint32_t out = 0;
    layer.samplePixel(511 * 256 + 128, 5 * 256, out); // w00 = w01 = 128
    EXPECT_EQ(out, 0x00400040u);
    layer.samplePixel(511 * 256 + 255, 511 * 256 + 255, out); // w11 = 255 * 255 >> 8 = 254, others 0
    EXPECT_EQ(out, 0x00FDFDFDu);                              // 254 * 255 >> 8 = 253
    layer.samplePixel(-256 + 0, -512, out);                   // column 511 of row 510
    EXPECT_EQ(out, texel(texture, 510, 511));
}

TEST(GridMapLayer, RefusesATextureSmallerThan512By512) {
    TestPicture small(512, 384);
    EXPECT_THROW(GridMapLayer{small.bitmap}, ptc::DynamicError);
    EXPECT_THROW(SwirlMapLayer{small.bitmap}, ptc::DynamicError);
}

TEST(SwirlMapLayer, CentrePixelShowsTheTextureCentre) {
    TestPicture texture(512, 512), screen(512, 384);
    fillRandom(texture.storage, 51);
    SwirlMapLayer layer(texture.bitmap);
    layer.render(screen.bitmap, 0.0);
    EXPECT_EQ(screen[192 * 512 + 256], texel(texture, 256, 256) & 0x00FFFFFF);
    // Half a turn (4096 steps at 26 a second is 157.54 s) later the centre shows the same texel
    // and the picture is upside down around it.
    layer.render(screen.bitmap, 4096.0 / 26.0 + 0.01);
    EXPECT_EQ(screen[192 * 512 + 256], texel(texture, 256, 256) & 0x00FFFFFF);
}

TEST(SwirlMapLayer, RippleDecaysByTruncationToZero) {
    TestPicture texture(512, 512), screen(512, 384);
    SwirlMapLayer layer(texture.bitmap);
    layer.pulse();
    EXPECT_EQ(layer.amplitude, 1024);
    int expected[] = {814, 647, 514, 408, 324, 257, 204, 162, 128, 101};
    for (int value : expected) {
        layer.render(screen.bitmap, 1.0);
        EXPECT_EQ(layer.amplitude, value);
    }
    for (int frame = 0; frame < 40; ++frame)
        layer.render(screen.bitmap, 1.0);
    EXPECT_EQ(layer.amplitude, 0);
}

TEST(SwirlMapLayer, TwistStartsOnTheFirstDrawnFrameAndGrows) {
    TestPicture texture(512, 512), screen(512, 384);
    SwirlMapLayer layer(texture.bitmap);
    layer.startTwist(); // while not drawn: nothing yet
    EXPECT_EQ(layer.twistStart, 0.0);
    layer.render(screen.bitmap, 20.0);
    EXPECT_EQ(layer.twistStart, 20.0);
    EXPECT_FALSE(layer.armed);
    EXPECT_EQ(layer.twist, 0.0);
    layer.render(screen.bitmap, 30.0);
    EXPECT_DOUBLE_EQ(layer.twist, 0.03);
    layer.pulse();
    layer.render(screen.bitmap, 30.0);
    EXPECT_DOUBLE_EQ(layer.twist, 0.03 + 814 * 0.00001);
    layer.reset();
    layer.render(screen.bitmap, 40.0);
    EXPECT_EQ(layer.twist, 0.0);
    EXPECT_EQ(layer.amplitude, 0);
}

TEST(GridMapLayer, VectorPathMatchesThePlainPath) {
    TestPicture texture(512, 512), screen(512, 384);
    fillRandom(texture.storage, 61);
    auto drawn = [&](GridMapLayer& layer, double seconds) {
        layer.render(screen.bitmap, seconds);
        return screen.storage;
    };
    SweepingMapLayer sweeping(texture.bitmap);
    expectVectorLevelsMatchPlain([&] { return drawn(sweeping, 0.0); }, "across the last texels");
    GridMapLayer turning(texture.bitmap);
    expectVectorLevelsMatchPlain([&] { return drawn(turning, 3.3); }, "turning");
    for (double seconds : {5.7, 63.2}) {
        expectVectorLevelsMatchPlain(
            [&] {
                SwirlMapLayer swirl(texture.bitmap);
                swirl.startTwist();
                swirl.render(screen.bitmap, 1.0);
                swirl.pulse();
                return drawn(swirl, seconds);
            },
            "swirl at " + std::to_string(seconds));
    }
}

namespace {

struct FeedbackScene {
    FeedbackScene()
        : p0(512, 384, 0x00FFFFFF), p1(512, 384, 1), p2(512, 384, 2), p3(512, 384, 3), screen(512, 384) {}
    TestPicture p0, p1, p2, p3, screen;
};

} // namespace

TEST(FeedbackMapLayer, FirstFrameIsBlackThenThePictureFadesIn) {
    FeedbackScene scene;
    FeedbackMapLayer layer(scene.p0.bitmap, scene.p1.bitmap, scene.p2.bitmap, scene.p3.bitmap);
    layer.render(scene.screen.bitmap, 0.0);
    for (std::uint32_t pixel : scene.screen.storage)
        ASSERT_EQ(pixel, 0u);
    // At time 0 every sine is 0: keep and mix are 0x8000 >> 8 = 128, picture and screen 127.
    EXPECT_EQ(layer.keepWeight, 128);
    EXPECT_EQ(layer.pictureWeight, 127);
    EXPECT_EQ(layer.mixWeight, 128);
    EXPECT_EQ(layer.zoom, 8192);
    // (((255 * 127) >> 8) * 128) >> 8 = (126 * 128) >> 8 = 63 on every visible row.
    EXPECT_EQ(layer.texture[64 * 512], 0x003F3F3Fu);
    EXPECT_EQ(layer.texture[447 * 512 + 511], 0x003F3F3Fu);
    EXPECT_EQ(layer.texture[63 * 512 + 511], 0u);
    EXPECT_EQ(layer.texture[448 * 512], 0u);
}

TEST(FeedbackMapLayer, RowsOutsideTheScreenStayBlack) {
    FeedbackScene scene;
    fillRandom(scene.p0.storage, 71);
    FeedbackMapLayer layer(scene.p0.bitmap, scene.p1.bitmap, scene.p2.bitmap, scene.p3.bitmap);
    for (int frame = 0; frame < 20; ++frame)
        layer.render(scene.screen.bitmap, 1.0 + frame * 0.37);
    for (int i = 0; i < 64 * 512; ++i) {
        ASSERT_EQ(layer.texture[i], 0u) << i;
        ASSERT_EQ(layer.texture[448 * 512 + i], 0u) << i;
    }
    std::uint32_t visible = 0;
    for (int i = 64 * 512; i < 448 * 512; ++i)
        visible |= layer.texture[i];
    EXPECT_NE(visible, 0u);
    EXPECT_EQ(visible >> 24, 0u);
}

TEST(FeedbackMapLayer, PicturesCycleOnTheNextFrame) {
    FeedbackScene scene;
    FeedbackMapLayer layer(scene.p0.bitmap, scene.p1.bitmap, scene.p2.bitmap, scene.p3.bitmap);
    layer.render(scene.screen.bitmap, 0.0);
    EXPECT_EQ(layer.picture, scene.p0.bitmap.pixels);
    layer.nextPicture();
    EXPECT_EQ(layer.picture, scene.p0.bitmap.pixels);
    layer.render(scene.screen.bitmap, 0.1);
    EXPECT_EQ(layer.picture, scene.p1.bitmap.pixels);
    layer.nextPicture(), layer.nextPicture(), layer.nextPicture();
    EXPECT_EQ(layer.pictureIndex, 0);
}

TEST(FeedbackMapLayer, CreatesAnEmptyDebugFile) {
    auto saved = std::filesystem::current_path();
    auto directory =
        std::filesystem::temp_directory_path() / ("velmora-feedback-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    std::filesystem::current_path(directory);
    std::ofstream("demo.debug") << "old contents";
    {
        FeedbackScene scene;
        FeedbackMapLayer layer(scene.p0.bitmap, scene.p1.bitmap, scene.p2.bitmap, scene.p3.bitmap);
    }
    std::filesystem::current_path(saved);
    EXPECT_TRUE(std::filesystem::exists(directory / "demo.debug"));
    EXPECT_EQ(std::filesystem::file_size(directory / "demo.debug"), 0u);
    std::filesystem::remove_all(directory);
}

TEST(FeedbackMapLayer, RefusesSmallPictures) {
    FeedbackScene scene;
    TestPicture small(320, 200);
    EXPECT_THROW(FeedbackMapLayer(scene.p0.bitmap, scene.p1.bitmap, small.bitmap, scene.p3.bitmap),
                 ptc::DynamicError);
}

TEST(FeedbackMapLayer, VectorPathMatchesThePlainPath) {
    FeedbackScene scene;
    fillRandom(scene.p0.storage, 81);
    fillRandom(scene.p1.storage, 82);
    expectVectorLevelsMatchPlain(
        [&] {
            FeedbackMapLayer layer(scene.p0.bitmap, scene.p1.bitmap, scene.p2.bitmap, scene.p3.bitmap);
            for (int frame = 0; frame < 8; ++frame) {
                if (frame == 4)
                    layer.nextPicture();
                layer.render(scene.screen.bitmap, 2.0 + frame * 0.13);
            }
            std::vector<std::uint32_t> result = scene.screen.storage;
            result.insert(result.end(), layer.texture, layer.texture + 512 * 512);
            return result;
        },
        "eight frames");
}
