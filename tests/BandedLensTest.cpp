// The lens layer and its radial blur split over the band pool: every frame the same bits as one
// thread, at every vector level.

#include "capture/PixelHash.h"
#include "core/Random.h"
#include "core/ShowObjects.h"
#include "effects/LensLayer.h"
#include "effects/RadialBlurLayer.h"

#include "BandedTestSupport.h"
#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Textures and a screen of seeded noise, so that every texel and every blurred ray shows.
std::vector<std::uint64_t> drawLensRun() {
    std::vector<std::uint32_t> buffer(workBufferWords);
    workBufferA = buffer.data();
    TestPicture rays(512, 512), lensPicture(512, 512), backdrop(512, 384), screen(512, 384);
    fillRandom(rays.storage, 11);
    fillRandom(lensPicture.storage, 12);
    LensLayer lens(rays.bitmap, lensPicture.bitmap, backdrop.bitmap);
    randomState = 77;
    std::vector<std::uint64_t> hashes;
    // 90 frames at 60 fps from 40 s, with a pause (the phases jump) and new drift speeds now and then;
    // the disc wanders over the screen edges, and the screen keeps what the frame before left.
    double seconds = 40.0;
    for (int frame = 0; frame < 90; ++frame) {
        fillRandom(screen.storage, 100 + frame % 3);
        if (frame % 25 == 7)
            lens.shuffleSpeeds();
        seconds += frame == 45 ? 7.3 : 1.0 / 60.0;
        renderLayer(lens, screen.bitmap, seconds);
        hashes.push_back(pixelHash(screen.storage.data(), screen.storage.size(), 0xFFFFFFFF));
        hashes.push_back(pixelHash(buffer.data(), screenPixelCount, 0xFFFFFFFF));
    }
    workBufferA = nullptr;
    return hashes;
}

TEST(BandedLensLayer, FramesMatchOneThreadAtEveryLevel) {
    for (SimdLevel level : {SimdLevel::plain, SimdLevel::sse2}) {
        SimdLevelGuard guard(level);
        expectSameFramesAtEveryThreadCount(drawLensRun);
    }
}

// The blur alone over centres all over the image and beyond it, with the lens layer's settings and
// with strengths and weights the wavefront cannot take (those run in order), on a fresh image each
// time and then again on the blurred image.
TEST(BandedRadialBlur, SameImageAsOneThreadForAnyCentreAndStrength) {
    struct Case {
        float x, y, strength, keep;
    };
    const Case cases[] = {
        {256.0f, 192.0f, 0.02f, 0.25f}, {57.3f, 370.9f, 0.02f, 0.25f},  {455.0f, 12.0f, 0.3f, 0.6f},
        {0.0f, 383.0f, 0.05f, 1.0f},    {511.0f, 0.0f, 1.0f, 0.25f},    {300.7f, 150.2f, 0.000001f, 0.5f},
        {600.0f, -20.0f, 0.1f, 1.7f},   {100.0f, 100.0f, -0.2f, -0.5f}, {200.0f, 300.0f, 1.5f, 0.25f}};
    for (SimdLevel level : {SimdLevel::plain, SimdLevel::sse2}) {
        SimdLevelGuard guard(level);
        expectSameFramesAtEveryThreadCount([&] {
            std::vector<std::uint32_t> image(screenPixelCount);
            fillRandom(image, 5);
            Bitmap bitmap;
            bitmap.pixels = image.data();
            std::vector<std::uint64_t> hashes;
            RadialBlurLayer blur;
            for (int pass = 0; pass < 2; ++pass)
                for (const Case& c : cases) {
                    blur.setParameters(c.strength, c.keep);
                    blur.setCentre(c.x, c.y);
                    renderLayer(blur, bitmap, 0.0);
                    hashes.push_back(pixelHash(image.data(), image.size(), 0xFFFFFFFF));
                }
            return hashes;
        });
    }
}

} // namespace
