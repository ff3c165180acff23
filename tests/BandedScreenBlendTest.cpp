// The layers that blend or copy whole pictures, split over the band pool by rows: every frame the
// same bits as one thread, at every vector level. A band that forgot to move one of its arrays on
// to its first pixel (a mask, the second picture) shows only with more than one band.

#include "capture/PixelHash.h"
#include "core/ByteMap.h"
#include "effects/CrossFadeLayer.h"
#include "effects/MaskedFadeLayer.h"
#include "effects/MaskedPictureLayer.h"
#include "effects/PictureLayer.h"
#include "effects/ScreenCopy.h"

#include "BandedTestSupport.h"
#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

std::vector<ByteMap> randomMask(unsigned seed) {
    std::mt19937 generator(seed);
    std::vector<ByteMap> mask(512 * 384);
    for (ByteMap& value : mask)
        value = static_cast<ByteMap>(generator());
    return mask;
}

// 90 frames: a picture is laid down, a masked fade runs from its first picture through the morph
// to its second, a cross-fade whose second picture is the screen itself fades in and is set back
// by hand, and a masked picture fades in over everything; each frame's screen is hashed.
std::vector<std::uint64_t> drawBlendRun() {
    TestPicture first(512, 384), second(512, 384), third(512, 384), screen(512, 384);
    fillRandom(first.storage, 1);
    fillRandom(second.storage, 2);
    fillRandom(third.storage, 3);
    std::vector<ByteMap> fromMask = randomMask(4), toMask = randomMask(5), pictureMask = randomMask(6);
    PictureLayer picture(third.bitmap);
    MaskedFadeLayer maskedFade(first.bitmap, second.bitmap, fromMask.data(), toMask.data());
    maskedFade.setFadeTime(0.5);
    CrossFadeLayer crossFade(first.bitmap, screen.bitmap);
    crossFade.setFadeTime(0.4);
    crossFade.setFadeDirection(1);
    MaskedPictureLayer maskedPicture(second.bitmap, pictureMask.data());
    maskedPicture.setFadeTime(0.3);
    maskedPicture.setFadeDirection(1);
    std::vector<std::uint64_t> hashes;
    for (int frame = 0; frame < 90; ++frame) {
        double seconds = 5.0 + frame / 60.0;
        if (frame == 50)
            crossFade.setFadePosition(0.25);
        renderLayer(picture, screen.bitmap, seconds);
        renderLayer(maskedFade, screen.bitmap, seconds);
        hashes.push_back(pixelHash(screen.storage.data(), screen.storage.size(), 0xFFFFFFFF));
        renderLayer(crossFade, screen.bitmap, seconds);
        if (frame >= 20)
            renderLayer(maskedPicture, screen.bitmap, seconds);
        hashes.push_back(pixelHash(screen.storage.data(), screen.storage.size(), 0xFFFFFFFF));
    }
    return hashes;
}

TEST(BandedScreenBlend, EveryBlendMatchesOneThreadAtEveryLevel) {
    expectSameFramesAtEveryLevelAndThreadCount(drawBlendRun);
}

// The copy is checked against the source itself, not against one thread: a band copied twice or
// left out would otherwise look the same at every thread count.
TEST(BandedScreenBlend, TheScreenCopyGivesEveryPixelAtEveryThreadCount) {
    TestPicture source(512, 384);
    fillRandom(source.storage, 7);
    for (int threadCount : {1, 2, 3, 8}) {
        BandThreadsGuard threads(threadCount);
        std::vector<std::uint32_t> target(source.storage.size(), 0xDEADBEEF);
        copyScreen(target.data(), source.storage.data());
        EXPECT_EQ(target, source.storage) << threadCount << " threads";
    }
}

TEST(BandedScreenBlend, APixelCopyStopsAtItsCount) {
    std::vector<std::uint32_t> source(40), target(40, 0);
    for (std::size_t i = 0; i < source.size(); ++i)
        source[i] = 0x01010101u * static_cast<std::uint32_t>(i + 1);
    for (int count : {0, 3, 8, 13, 37}) {
        std::fill(target.begin(), target.end(), 0u);
        copyPixels(target.data(), source.data(), count);
        for (int i = 0; i < 40; ++i)
            EXPECT_EQ(target[i], i < count ? source[i] : 0u) << "count " << count << ", pixel " << i;
    }
}

} // namespace
