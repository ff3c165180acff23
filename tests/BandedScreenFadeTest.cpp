// The full-screen fades split over the band pool: every frame the same bits as one thread.

#include "capture/PixelHash.h"
#include "effects/FadeToBlackLayer.h"
#include "effects/FadeToWhiteLayer.h"

#include "BandedTestSupport.h"
#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Both fades over the same noise for 80 frames: in over half a second, held, out again, with a
// position set by hand on the way (as the cues do); the screen is fresh noise every frame.
template <class Fade> std::vector<std::uint64_t> drawFadeRun() {
    TestPicture screen(512, 384);
    Fade fade;
    fade.setFadeTime(0.5);
    fade.setFadeDirection(1);
    std::vector<std::uint64_t> hashes;
    for (int frame = 0; frame < 80; ++frame) {
        if (frame == 40)
            fade.setFadeDirection(-1);
        if (frame == 55)
            fade.setFadePosition(0.8);
        fillRandom(screen.storage, 80 + frame);
        renderLayer(fade, screen.bitmap, 2.0 + frame / 60.0);
        hashes.push_back(pixelHash(screen.storage.data(), screen.storage.size(), 0xFFFFFFFF));
    }
    return hashes;
}

TEST(BandedScreenFade, BothFadesMatchOneThread) {
    expectSameFramesAtEveryThreadCount(drawFadeRun<FadeToBlackLayer>);
    expectSameFramesAtEveryThreadCount(drawFadeRun<FadeToWhiteLayer>);
}

} // namespace
