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

#include <algorithm>
#include <atomic>
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

// Rows built from noise of their own and copied out once used, counting both steps per row.
class CopiedRows final : public RadialBlurRows {
  public:
    CopiedRows(std::vector<std::uint32_t>& image, int seed) : image(image), used(image.size()), seed(seed) {}

    void build(int y) override {
        std::uint32_t state = static_cast<std::uint32_t>(seed * 1000 + y + 1);
        for (int x = 0; x < 512; ++x) {
            state = state * 1664525u + 1013904223u;
            image[static_cast<std::size_t>(y) * 512 + x] = state;
        }
        ++builds[y];
    }

    void use(int y) override {
        std::copy_n(image.begin() + y * 512, 512, used.begin() + y * 512);
        ++uses[y];
    }

    std::vector<std::uint32_t>& image;
    std::vector<std::uint32_t> used;
    std::atomic<int> builds[384] = {};
    std::atomic<int> uses[384] = {};

  private:
    int seed;
};

// Each row is built once before the blur reads it and used once it is final, whether the rows go
// as a wavefront or (a centre off the image, a strength above 1) in order on the caller.
TEST(BandedRadialBlur, RowStepsFrameEachRowOnceAroundTheSameBlur) {
    struct Case {
        float x, y, strength;
    };
    const Case cases[] = {{256.0f, 192.0f, 0.02f}, {41.5f, 370.2f, 0.02f}, {600.0f, -20.0f, 0.1f},
                          {200.0f, 300.0f, 1.5f}};
    for (SimdLevel level : {SimdLevel::plain, SimdLevel::sse2}) {
        SimdLevelGuard guard(level);
        expectSameFramesAtEveryThreadCount([&] {
            std::vector<std::uint32_t> image(screenPixelCount);
            Bitmap bitmap;
            bitmap.pixels = image.data();
            std::vector<std::uint64_t> hashes;
            RadialBlurLayer blur;
            for (int n = 0; n < 4; ++n) {
                const Case& c = cases[n];
                blur.setParameters(c.strength, 0.25f);
                blur.setCentre(c.x, c.y);
                CopiedRows rows(image, n);
                blur.renderRows(bitmap, rows);
                for (int y = 0; y < 384; ++y) {
                    EXPECT_EQ(rows.builds[y].load(), 1) << "row " << y;
                    EXPECT_EQ(rows.uses[y].load(), 1) << "row " << y;
                }
                EXPECT_EQ(rows.used, image) << "a row was used before it was final";
                hashes.push_back(pixelHash(image.data(), image.size(), 0xFFFFFFFF));
            }
            return hashes;
        });
    }
}

} // namespace
