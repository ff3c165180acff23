// The terrain flight with its rays and its enlargement split over the shared band pool: at 2, 3
// and 8 threads every frame is the single thread's, bit for bit.

#include "effects/TerrainLayer.h"

#include "BandedTestSupport.h"
#include "EffectTestSupport.h"
#include "GeneratedData.h"
#include "ShowObjectsGuard.h"
#include "capture/PixelHash.h"
#include "image/PictureLoading.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class SteeredTerrain : public TerrainLayer {
  public:
    using TerrainLayer::TerrainLayer;
    // Puts the camera where the flight alone takes long to go: high above the ground, banked hard
    // (so the bands' columns cross the horizon at different rows), looking far down.
    void turnHard() {
        altitude = 300 << 8;
        roll = 700;
        pitch = -900;
        heading += 3000;
    }
};

// The show's own landscape: its colour picture and its height map with the sea level.
struct ShowLandscape {
    ShowLandscape() {
        std::string data = testdata::sharedDataDirectory() + "/";
        colours.reset(loadBitmap((data + "x19.jpg").c_str()));
        heights.reset(loadByteMap((data + "x26.pcx").c_str()));
    }
    std::unique_ptr<Bitmap> colours;
    std::unique_ptr<ByteMap[]> heights;
};

// 90 frames as the show draws them from the scene's start: the opening descent at 60 fps, frame
// gaps of a dropped frame and of a seek (a long step of the camera), and a hard turn of the camera
// halfway. One hash per frame of the whole screen, top bytes included.
std::vector<std::uint64_t> flight(ShowLandscape& landscape) {
    showtest::ShowObjectsGuard objects;
    std::vector<std::uint32_t> buffer(workBufferWords);
    workBufferA = buffer.data();
    TestPicture screen(512, 384, 0x00123456);
    SteeredTerrain terrain(*landscape.colours, landscape.heights.get());
    std::vector<std::uint64_t> hashes;
    double seconds = 104.97;
    for (int frame = 0; frame < 90; ++frame) {
        if (frame == 60)
            terrain.turnHard();
        renderLayer(terrain, screen.bitmap, seconds);
        hashes.push_back(pixelHash(screen.storage.data(), screen.storage.size(), 0xFFFFFFFF));
        seconds += frame == 20 ? 2.0 / 60 : frame == 40 ? 1.5 : 1.0 / 60;
    }
    return hashes;
}

} // namespace

TEST(BandedTerrain, FramesAreTheSingleThreadsAtEveryThreadCount) {
    ShowLandscape landscape;
    ASSERT_TRUE(landscape.colours && landscape.heights);
    // The enlargement's plain loop and its vector loop are split alike.
    for (SimdLevel level : {SimdLevel::plain, supportedSimdLevel()}) {
        SimdLevelGuard guard(level);
        expectSameFramesAtEveryThreadCount([&] { return flight(landscape); });
    }
}

// The grid of ray colours itself, by both marches, for a camera that sees sky, hills and water.
TEST(BandedTerrain, RayGridIsTheSingleThreadsByBothMarches) {
    ShowLandscape landscape;
    showtest::ShowObjectsGuard objects;
    std::vector<std::uint32_t> buffer(workBufferWords);
    workBufferA = buffer.data();
    TestPicture screen(512, 384);
    SteeredTerrain terrain(*landscape.colours, landscape.heights.get());
    double seconds = 104.97;
    for (int frame = 0; frame < 120; ++frame, seconds += 1.0 / 60)
        renderLayer(terrain, screen.bitmap, seconds);
    auto grids = [&] {
        std::vector<std::uint32_t> plain(TerrainLayer::gridColumns * TerrainLayer::gridRows);
        std::vector<std::uint32_t> skipping(plain.size());
        terrain.castRaysPlain(plain.data());
        terrain.castRaysSkipping(skipping.data());
        EXPECT_EQ(plain, skipping);
        return std::vector<std::uint64_t>{pixelHash(plain.data(), plain.size(), 0xFFFFFFFF)};
    };
    expectSameFramesAtEveryThreadCount(grids);
}
