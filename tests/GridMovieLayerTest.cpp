#include "effects/GridMovieLayer.h"
#include "capture/PixelHash.h"
#include "platform/ptc/Error.h"

#include "BandedTestSupport.h"
#include "EffectTestSupport.h"

#include <gtest/gtest.h>

namespace {

constexpr int frameSize = 129 * 97;

// A movie of `count` frames, 129 pixels wide with the frames one below the other, each frame
// filled with its own colour.
struct Movie {
    Movie(int count, std::vector<std::uint32_t> colours) : picture(129, 97 * count) {
        for (int n = 0; n < count; ++n)
            std::fill_n(picture.storage.begin() + n * frameSize, frameSize, colours[n % colours.size()]);
    }
    TestPicture picture;
};

} // namespace

TEST(GridMovieLayer, AdvancesByRealTimeAndWrapsAtTheEnd) {
    Movie movie(5, {0});
    TestPicture screen(512, 384);
    GridMovieLayer layer(movie.picture.bitmap, 30.0);
    EXPECT_EQ(layer.frameCount, 5);
    layer.render(screen.bitmap, 2.0); // the first frame moves nothing
    EXPECT_EQ(layer.position, 0.0);
    layer.render(screen.bitmap, 2.1);
    EXPECT_NEAR(layer.position, 3.0, 1e-9);
    layer.render(screen.bitmap, 2.2);
    EXPECT_NEAR(layer.position, 1.0, 1e-9);
}

TEST(GridMovieLayer, SettersWrapAndKeepTheFraction) {
    Movie movie(7, {0});
    GridMovieLayer layer(movie.picture.bitmap, 30.0);
    layer.setFrame(7);
    EXPECT_EQ(layer.position, 0.0);
    layer.setFrame(-1);
    EXPECT_EQ(layer.position, 6.0);
    layer.setFrame(200);
    EXPECT_EQ(layer.position, 4.0); // 200 - 28 * 7
    layer.position = 2.5;
    layer.skipFrames(-6);
    EXPECT_EQ(layer.position, 3.5);
    layer.setFrame(-14);
    EXPECT_EQ(layer.position, 0.0);
    EXPECT_FALSE(std::signbit(layer.position));
    // A huge jump wraps at once; a tiny negative position (7 - 1e-20 rounds to 7) is frame 0,
    // never frame 7, which does not exist.
    layer.setFrame(2147483647);
    EXPECT_EQ(layer.position, 1.0); // 2^31 - 1 = 7 * 306,783,378 + 1
    layer.position = -1e-20;
    layer.skipFrames(0);
    EXPECT_EQ(layer.position, 0.0);
}

TEST(GridMovieLayer, WholeFrameIsShownUnblendedAndOpaque) {
    Movie movie(7, {0x00101010, 0x00202020, 0x00303030, 0x00404040, 0x00505050, 0xAAFFFFFF, 0x00606060});
    TestPicture screen(512, 384);
    GridMovieLayer layer(movie.picture.bitmap, 30.0);
    layer.setFrame(5);
    layer.render(screen.bitmap, 0.0);
    for (std::uint32_t pixel : screen.storage)
        ASSERT_EQ(pixel, 0xFFFEFEFEu); // 255 * 255 >> 8, top byte always 0xFF
}

TEST(GridMovieLayer, LastFrameBlendsIntoTheFirst) {
    Movie movie(3, {0x000000FF, 0x0000FF00, 0x00FF0000});
    TestPicture screen(512, 384);
    GridMovieLayer layer(movie.picture.bitmap, 30.0);
    layer.position = 2.5; // w = 128, v = 127: frame 2 (red) into frame 0 (blue)
    layer.render(screen.bitmap, 0.0);
    for (std::uint32_t pixel : screen.storage)
        ASSERT_EQ(pixel, 0xFF7E007Fu); // red 255 * 127 >> 8, blue 255 * 128 >> 8: equal corners stay exact
}

TEST(GridMovieLayer, CellsInterpolateBilinearlyWithFloor) {
    Movie movie(1, {0});
    movie.picture[1] = 0x00FF0000;       // grid point (1, 0): red 255, shown as 254
    movie.picture[129 + 1] = 0x00000080; // grid point (1, 1): blue 128, shown as 127
    TestPicture screen(512, 384);
    GridMovieLayer layer(movie.picture.bitmap, 30.0);
    layer.render(screen.bitmap, 0.0);
    auto at = [&](int x, int y) { return screen[y * 512 + x]; };
    EXPECT_EQ(at(0, 0), 0xFF000000u);
    EXPECT_EQ(at(1, 0), 0xFF3F0000u); // 1 * 4 * 254 / 16 = 63.5
    EXPECT_EQ(at(2, 0), 0xFF7F0000u); // 2 * 4 * 254 / 16 = 127
    EXPECT_EQ(at(4, 0), 0xFFFE0000u); // the corner itself
    EXPECT_EQ(at(3, 1), 0xFF8E0017u); // red 3 * 3 * 254 / 16 = 142.9, blue 3 * 1 * 127 / 16 = 23.8
}

TEST(GridMovieLayer, RefusesAPictureWithoutAWholeFrame) {
    TestPicture small(12512, 1);
    try {
        GridMovieLayer layer(small.bitmap, 30.0);
        FAIL();
    } catch (const ptc::DynamicError& error) {
        EXPECT_STREQ(error.what(),
                     "grid movie picture has 12512 pixels, fewer than one 129 x 97 frame (12513)");
    }
    TestPicture oneFrame(12513, 1);
    EXPECT_EQ(GridMovieLayer(oneFrame.bitmap, 30.0).frameCount, 1);
}

TEST(GridMovieLayer, VectorPathMatchesThePlainPath) {
    TestPicture movie(129, 97 * 4);
    fillRandom(movie.storage, 41);
    TestPicture screen(512, 384);
    for (double position : {0.0, 1.3, 3.99}) {
        expectVectorLevelsMatchPlain(
            [&] {
                std::fill(screen.storage.begin(), screen.storage.end(), 0);
                GridMovieLayer layer(movie.bitmap, 30.0);
                layer.position = position;
                layer.render(screen.bitmap, 0.0);
                return screen.storage;
            },
            "position " + std::to_string(position));
    }
}

// The screen rows are drawn in bands: every frame the one thread's, at every level, as the movie
// blends from frame to frame and wraps.
TEST(GridMovieLayer, BandedRowsMatchOneThread) {
    std::vector<std::uint32_t> colours(7);
    fillRandom(colours, 61);
    Movie movie(7, colours);
    fillRandom(movie.picture.storage, 62);
    expectSameFramesAtEveryLevelAndThreadCount([&] {
        TestPicture screen(512, 384);
        GridMovieLayer layer(movie.picture.bitmap, 30.0);
        std::vector<std::uint64_t> hashes;
        for (int frame = 0; frame < 20; ++frame) {
            layer.render(screen.bitmap, 3.0 + frame * 0.037);
            hashes.push_back(pixelHash(screen.storage.data(), screen.storage.size(), 0xFFFFFFFF));
        }
        return hashes;
    });
}
