#include "effects/TerrainLayer.h"
#include "core/ShowObjects.h"
#include "platform/ptc/Error.h"

#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// Opens the camera and the water level to the tests.
class OpenTerrain : public TerrainLayer {
  public:
    using TerrainLayer::altitude;
    using TerrainLayer::heading;
    using TerrainLayer::pitch;
    using TerrainLayer::posX;
    using TerrainLayer::posY;
    using TerrainLayer::roll;
    using TerrainLayer::steer;
    using TerrainLayer::TerrainLayer;
    using TerrainLayer::waterLevel;
};

struct TerrainFixture : ::testing::Test {
    TerrainFixture()
        : grid(workBufferWords), colours(512, 512, 0x00808080), heights(512 * 512, 100), screen(512, 384) {
        workBufferA = grid.data();
    }
    ~TerrainFixture() override { workBufferA = nullptr; }

    void setHeight(int column, int row, std::uint8_t value) { heights[row * 512 + column] = value; }

    std::vector<std::uint32_t> grid;
    TestPicture colours;
    std::vector<std::uint8_t> heights;
    TestPicture screen;
};

// Rolling hills with flat lakes at 80, wrapped.
std::vector<std::uint8_t> hillsWithLakes(unsigned seed) {
    std::mt19937 generator(seed);
    std::vector<std::uint8_t> map(512 * 512);
    double p = (generator() % 628) / 100.0, q = (generator() % 628) / 100.0;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            double a = x * 6.283185307 / 512, b = y * 6.283185307 / 512;
            double h = 100 + 50 * std::sin(2 * a + p) * std::sin(3 * b + q) + 20 * std::sin(7 * a - 5 * b) +
                       double(generator() % 8);
            map[y * 512 + x] = static_cast<std::uint8_t>(std::max(80.0, std::min(255.0, h)));
        }
    return map;
}

} // namespace

using TerrainLayerTest = TerrainFixture;

TEST_F(TerrainLayerTest, WaterLevelIsTheMostFrequentHeight) {
    OpenTerrain flat(colours.bitmap, heights.data());
    EXPECT_EQ(flat.waterLevel, 100);

    // 10 and 200 each on half the map: the tie keeps the higher one.
    for (int i = 0; i < 512 * 512; ++i)
        heights[i] = i % 2 ? 10 : 200;
    OpenTerrain tied(colours.bitmap, heights.data());
    EXPECT_EQ(tied.waterLevel, 200);

    // One cell more of 10 wins.
    heights[0] = 10;
    heights[2] = 10;
    heights[1] = 7;
    OpenTerrain nearlyTied(colours.bitmap, heights.data());
    EXPECT_EQ(nearlyTied.waterLevel, 10);
}

TEST_F(TerrainLayerTest, RefusesAColourPictureOfTheWrongSize) {
    TestPicture small(512, 384);
    EXPECT_THROW(TerrainLayer(small.bitmap, heights.data()), ptc::DynamicError);
}

// The camera at cell (0, 0) heading 0 probes 64 cells ahead at heading -160k and +160k; the probe
// at -160 lies at column -8 (the table's sine of -160 is -1002, >> 7 gives -8), row 63; the one
// at +160 at column 7, row 63.
TEST_F(TerrainLayerTest, EqualLowProbesKeepTheOneBelowTheHeading) {
    setHeight(512 - 8, 63, 50);
    setHeight(7, 63, 50);
    OpenTerrain terrain(colours.bitmap, heights.data());
    terrain.render(screen.bitmap, 0.0);
    // steer = (0 * 210 + -160 * 46) >> 8 = -7360 >> 8
    EXPECT_EQ(terrain.steer, -29);
    // dt is 0 on the first frame: heading and position stay.
    EXPECT_EQ(terrain.heading, 0);
    EXPECT_EQ(terrain.posX, 0);
}

TEST_F(TerrainLayerTest, StrictlyLowerProbeWinsFartherOut) {
    setHeight(512 - 8, 63, 50);
    setHeight(7, 63, 50);
    setHeight(23, 59, 49); // +480: sine 2948 >> 7 = 23, cosine 7643 >> 7 = 59
    OpenTerrain terrain(colours.bitmap, heights.data());
    terrain.render(screen.bitmap, 0.0);
    EXPECT_EQ(terrain.steer, (480 * 46) >> 8);
}

TEST_F(TerrainLayerTest, FarPositionsWrapAroundTheMap) {
    // Column 511 of row 3, reached from far negative and far positive positions.
    setHeight(511, 3, 200);
    for (std::int32_t x : {-512, -512 - 7 * 512 * 512, 511 * 512 + 100 * 512 * 512}) {
        OpenTerrain terrain(colours.bitmap, heights.data());
        terrain.posX = x;
        terrain.posY = 3 * 512 + 40 * 512 * 512;
        terrain.render(screen.bitmap, 0.0);
        // goal (200 + 8) << 8 lies below the start: sink at 0.08 in single precision.
        EXPECT_EQ(terrain.altitude, 366018) << "posX " << x;
    }
}

TEST_F(TerrainLayerTest, PitchEasesPerFrameTowardsMinus200) {
    OpenTerrain terrain(colours.bitmap, heights.data());
    terrain.render(screen.bitmap, 0.0);
    EXPECT_EQ(terrain.pitch, int(-4048 * 0.97 - 6.0)); // -3932
    for (int frame = 0; frame < 400; ++frame)
        terrain.render(screen.bitmap, 0.0);
    EXPECT_EQ(terrain.pitch, -200);
}

// A level camera at (0, 0) looking along the rows. The bottom-left ray steps one column left, one
// row on and 376/256 units down per step; from 29360 it meets the flat ground of height 100 on its
// tenth step (row 10), which is water, so it is mirrored and climbs towards a ridge at rows 20-29.
TEST_F(TerrainLayerTest, WaterMirrorsTheRayOntoTheRidge) {
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            bool ridge = y >= 20 && y < 30;
            heights[y * 512 + x] = ridge ? 255 : 100;
            colours[y * 512 + x] = ridge ? 0x605040 : 0x102030;
        }
    OpenTerrain terrain(colours.bitmap, heights.data());
    terrain.pitch = 0;
    terrain.altitude = 29360;
    std::vector<std::uint32_t> plain(129 * 97), skipping(129 * 97);
    terrain.castRaysPlain(plain.data());
    terrain.castRaysSkipping(skipping.data());
    // 0x102030 and 0x605040 at full brightness (* 255 >> 8), added per channel.
    EXPECT_EQ(plain[96 * 129], 0x0F1F2Fu + 0x5F4F3Fu);
    EXPECT_EQ(plain, skipping);

    // Without the ridge the mirrored ray finds nothing: the first colour stays.
    for (int i = 0; i < 512 * 512; ++i)
        heights[i] = 100;
    OpenTerrain flat(colours.bitmap, heights.data());
    flat.pitch = 0;
    flat.altitude = 29360;
    flat.castRaysPlain(plain.data());
    EXPECT_EQ(plain[96 * 129], 0x0F1F2Fu);
    EXPECT_EQ(plain[0], 0u); // the top-left ray climbs 1.5 units a step: sky
}

TEST_F(TerrainLayerTest, SkippingMarchMatchesThePlainMarch) {
    std::vector<std::uint8_t> map = hillsWithLakes(7);
    fillRandom(colours.storage, 8);
    OpenTerrain terrain(colours.bitmap, map.data());
    std::vector<std::uint32_t> plain(129 * 97), skipping(129 * 97);
    double seconds = 3.0;
    for (int frame = 0; frame < 240; ++frame, seconds += 1.0 / 30) {
        terrain.render(screen.bitmap, seconds);
        if (frame % 20 != 19)
            continue;
        terrain.castRaysPlain(plain.data());
        terrain.castRaysSkipping(skipping.data());
        ASSERT_EQ(plain, skipping) << "frame " << frame;
    }
    // Also from far above, where most rays cross empty space, and turned on every axis.
    terrain.altitude = 300 << 8;
    terrain.roll = 700;
    terrain.pitch = -900;
    terrain.heading = 3000;
    terrain.castRaysPlain(plain.data());
    terrain.castRaysSkipping(skipping.data());
    EXPECT_EQ(plain, skipping);
}

TEST(TerrainLayerGrid, BlackGridGivesBlackScreenWithTopBytesSet) {
    std::vector<std::uint32_t> grid(129 * 97, 0), pixels(512 * 384, 0x12345678);
    TerrainLayer::enlargeGridPlain(grid.data(), pixels.data());
    for (std::uint32_t pixel : pixels)
        ASSERT_EQ(pixel, 0xFF000000u);
}

TEST(TerrainLayerGrid, BlocksInterpolateInQuarters) {
    std::vector<std::uint32_t> grid(129 * 97, 0), pixels(512 * 384, 0);
    // Block (0, 0): blue 0 -> 255 across, red 0 -> 0x80 down.
    grid[1] = 0x0000FF;
    grid[129] = 0x800000;
    grid[130] = 0x8000FF;
    TerrainLayer::enlargeGridPlain(grid.data(), pixels.data());
    // Blue steps by (0xFF00 >> 2) = 0x3FC0 per pixel: 0, 0x3F, 0x7F, 0xBF.
    EXPECT_EQ(pixels[0], 0xFF000000u);
    EXPECT_EQ(pixels[1], 0xFF00003Fu);
    EXPECT_EQ(pixels[3], 0xFF0000BFu);
    // Red steps by 0x800000 >> 2 per row: row 2 has red 0x40.
    EXPECT_EQ(pixels[2 * 512], 0xFF400000u);
    EXPECT_EQ(pixels[3 * 512 + 3], 0xFF6000BFu);
    // The next block starts exactly on its corner colour.
    EXPECT_EQ(pixels[4], 0xFF0000FFu);
}

TEST(TerrainLayerGrid, VectorEnlargementMatchesThePlainLoop) {
    std::vector<std::uint32_t> grid(129 * 97);
    fillRandom(grid, 21);
    std::vector<std::uint32_t> plain(512 * 384), vector(512 * 384);
    TerrainLayer::enlargeGridPlain(grid.data(), plain.data());
    TerrainLayer::enlargeGridSse2(grid.data(), vector.data());
    EXPECT_EQ(plain, vector);
    // Ray colours have their top byte clear.
    for (std::uint32_t& colour : grid)
        colour &= 0x00FFFFFF;
    TerrainLayer::enlargeGridPlain(grid.data(), plain.data());
    TerrainLayer::enlargeGridSse2(grid.data(), vector.data());
    EXPECT_EQ(plain, vector);
}
