// The polar voxel landscape with its height blend, colour map, rays and screen mapping split over
// the shared band pool: at 2, 3 and 8 threads every frame is the single thread's, bit for bit.

#include "effects/PolarVoxelLayer.h"

#include "BandedTestSupport.h"
#include "EffectTestSupport.h"
#include "GeneratedData.h"
#include "capture/PixelHash.h"
#include "image/PictureLoading.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// The show's pictures for the layer: three colour pictures and four height maps.
struct VoxelPictures {
    VoxelPictures() {
        std::string data = testdata::sharedDataDirectory() + "/";
        for (const char* name : {"x21.jpg", "x22.jpg", "x23.jpg"})
            pictures.emplace_back(loadBitmap((data + name).c_str()));
        for (const char* name : {"x24.jpg", "x25.jpg", "x26.jpg", "x27.jpg"})
            maps.emplace_back(loadByteMap((data + name).c_str()));
    }
    std::vector<std::unique_ptr<Bitmap>> pictures;
    std::vector<std::unique_ptr<ByteMap[]>> maps;
};

// The lower layers: a pattern that changes every frame, so that the pixels the landscape leaves
// alone are seen to keep it.
void paintBackdrop(TestPicture& screen, int frame) {
    for (std::size_t k = 0; k < screen.storage.size(); ++k)
        screen.storage[k] = std::uint32_t(k * 2654435761u + frame * 40503u) & 0x00FFFFFF;
}

// 80 frames from the scene's start at 60 fps, with a dropped frame, the switch to the second set
// of pictures at frame 30, and a jump far into the flight at frame 50 (the camera's position has
// wrapped, the disc shrinks and grows: the horizon bookkeeping marks entries empty again).
std::vector<std::uint64_t> flight(VoxelPictures& show) {
    PolarVoxelLayer voxel(*show.pictures[0], *show.pictures[1], *show.pictures[2], show.maps[0].get(),
                          show.maps[1].get(), show.maps[2].get(), show.maps[3].get());
    TestPicture screen(512, 384);
    std::vector<std::uint64_t> hashes;
    double seconds = 280.22;
    for (int frame = 0; frame < 80; ++frame) {
        if (frame == 30)
            voxel.switchSet();
        paintBackdrop(screen, frame);
        renderLayer(voxel, screen.bitmap, seconds);
        hashes.push_back(pixelHash(screen.storage.data(), screen.storage.size(), 0xFFFFFFFF));
        seconds += frame == 10 ? 2.0 / 60 : frame == 50 ? 4000.0 : 1.0 / 60;
    }
    return hashes;
}

} // namespace

TEST(BandedPolarVoxel, FramesAreTheSingleThreadsAtEveryThreadCount) {
    VoxelPictures show;
    for (const auto& picture : show.pictures)
        ASSERT_TRUE(picture);
    // The plain loops and the vector loops are split alike.
    for (SimdLevel level : {SimdLevel::plain, supportedSimdLevel()}) {
        SimdLevelGuard guard(level);
        expectSameFramesAtEveryThreadCount([&] { return flight(show); });
    }
}
