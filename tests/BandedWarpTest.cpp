// The warp's distortion and blend split over the band pool: every frame the same bits as one
// thread, at every vector level.

#include "capture/PixelHash.h"
#include "core/ShowObjects.h"
#include "effects/WarpLayer.h"

#include "BandedTestSupport.h"
#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A noisy photograph warped for 80 frames from 66 s (phase products that wrap), with a jump in
// time halfway; the blend weight ramps to its end meanwhile. The hash covers the screen and the
// feedback image the next frame reads.
std::vector<std::uint64_t> drawWarpRun() {
    std::vector<std::uint32_t> bufferA(workBufferWords), bufferB(workBufferWords, 0x00ABCDEF);
    workBufferA = bufferA.data();
    workBufferB = bufferB.data();
    TestPicture picture(512, 512), screen(512, 384);
    fillRandom(picture.storage, 21);
    fillRandom(screen.storage, 22);
    WarpLayer warp(picture.bitmap);
    std::vector<std::uint64_t> hashes;
    double seconds = 66.0;
    for (int frame = 0; frame < 80; ++frame) {
        seconds += frame == 40 ? 3.7 : 1.0 / 60.0;
        renderLayer(warp, screen.bitmap, seconds);
        hashes.push_back(pixelHash(screen.storage.data(), screen.storage.size(), 0xFFFFFFFF));
        hashes.push_back(pixelHash(bufferB.data(), bufferB.size(), 0xFFFFFFFF));
    }
    workBufferA = workBufferB = nullptr;
    return hashes;
}

TEST(BandedWarpLayer, FramesMatchOneThreadAtEveryLevel) {
    for (SimdLevel level : {SimdLevel::plain, SimdLevel::sse2}) {
        SimdLevelGuard guard(level);
        expectSameFramesAtEveryThreadCount(drawWarpRun);
    }
}

} // namespace
