// The grid texture mappers' blocks split over the band pool: every frame the same bits as one
// thread, at every vector level.

#include "capture/PixelHash.h"
#include "effects/GridMapLayer.h"
#include "effects/SwirlMapLayer.h"

#include "BandedTestSupport.h"
#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The swirl over 90 frames from 60 s: ripples started twice (one on top of the other's fading),
// the twist armed and later reset, as the cues do.
std::vector<std::uint64_t> drawSwirlRun() {
    TestPicture texture(512, 512), screen(512, 384);
    fillRandom(texture.storage, 71);
    SwirlMapLayer swirl(texture.bitmap);
    std::vector<std::uint64_t> hashes;
    for (int frame = 0; frame < 90; ++frame) {
        if (frame == 5 || frame == 9)
            swirl.pulse();
        if (frame == 20)
            swirl.startTwist();
        if (frame == 70)
            swirl.reset();
        renderLayer(swirl, screen.bitmap, 60.0 + frame / 60.0);
        hashes.push_back(pixelHash(screen.storage.data(), screen.storage.size(), 0xFFFFFFFF));
    }
    return hashes;
}

TEST(BandedGridMap, SwirlMatchesOneThreadAtEveryLevel) {
    expectSameFramesAtEveryLevelAndThreadCount(drawSwirlRun);
}

// A mapper whose texture is the screen it draws reads blocks that others write: it keeps the
// order of one thread.
TEST(BandedGridMap, TextureThatIsTheTargetKeepsTheOrder) {
    expectSameFramesAtEveryThreadCount([] {
        TestPicture picture(512, 512);
        fillRandom(picture.storage, 72);
        Bitmap screen = picture.bitmap;
        screen.height = 384;
        GridMapLayer turning(picture.bitmap);
        std::vector<std::uint64_t> hashes;
        for (int frame = 0; frame < 60; ++frame) {
            renderLayer(turning, screen, 3.0 + frame / 30.0);
            hashes.push_back(pixelHash(picture.storage.data(), picture.storage.size(), 0xFFFFFFFF));
        }
        return hashes;
    });
}

} // namespace
