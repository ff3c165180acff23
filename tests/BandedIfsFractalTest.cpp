// The fractal cloud in a process whose band pool has several threads: every frame the same bits
// as one thread, at every vector level; and the banded glow dots (the spark systems draw them)
// against the plain dot drawer.

#include "capture/PixelHash.h"
#include "core/Random.h"
#include "effects/GlowDotBands.h"
#include "effects/GlowDots.h"
#include "effects/IfsFractalLayer.h"

#include "BandedTestSupport.h"
#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// 40,000 points (the show's cloud) over 70 frames from 30 s, the screen kept from frame to frame so
// that bright regions saturate; the palette shifts twice, the first during the other's blend, and
// the shared random state is disturbed between frames as cues would.
// With `shares`, each frame first sets the points of a block that the walking thread places,
// in turn, as if the balancing had moved there.
std::vector<std::uint64_t> drawCloudRun(const std::vector<int>& shares = {}) {
    TestPicture palette(16, 16), screen(512, 384, 0x00102030);
    fillRandom(palette.storage, 31);
    IfsFractalLayer cloud(40000, palette.bitmap);
    std::vector<std::uint64_t> hashes;
    for (int frame = 0; frame < 70; ++frame) {
        if (frame == 10 || frame == 14)
            cloud.shiftPalette();
        if (!shares.empty())
            cloud.walkerPlaces = shares[frame % shares.size()];
        randomState = static_cast<std::uint32_t>(frame * 7919);
        renderLayer(cloud, screen.bitmap, 30.0 + frame / 60.0);
        hashes.push_back(pixelHash(screen.storage.data(), screen.storage.size(), 0xFFFFFFFF));
        hashes.push_back(randomState);
    }
    return hashes;
}

TEST(BandedIfsFractalLayer, FramesMatchOneThreadAtEveryLevel) {
    expectSameFramesAtEveryLevelAndThreadCount([] { return drawCloudRun(); });
}

// Whoever places a point, the dots are the same: the walker places none, one, all but one, all of
// a block (the last block holds 64 points), or a share out of range.
TEST(BandedIfsFractalLayer, FramesMatchOneThreadWhateverShareOfPlacingTheWalkerTakes) {
    expectSameFramesAtEveryThreadCount([] { return drawCloudRun({0, 1, 63, 64, 65, 1023, 1024, 5000, -3}); });
}

// Dots anywhere (many far off the picture, behind the eye, on every border) with both margins, and
// a picture whose width is not 512 (every dot takes the border rule): the banded dots equal one
// dot after another.
TEST(BandedGlowDots, SameAsOneDotAfterAnotherOnAnyPicture) {
    std::mt19937 generator(41);
    const int count = 5003;
    std::vector<std::int32_t> x(count), y(count), z(count);
    std::vector<std::uint32_t> colours(count);
    for (int i = 0; i < count; ++i) {
        int spread = i % 3 == 0 ? 1 << 30 : 1 << 13;
        x[i] = static_cast<std::int32_t>(generator() % (2u * spread)) - spread;
        y[i] = static_cast<std::int32_t>(generator() % (2u * spread)) - spread;
        z[i] = static_cast<std::int32_t>(generator() % 40000) - 20000;
        colours[i] = generator() & 0xFFFFFF;
    }
    GlowDotBatch batch{x.data(), y.data(), z.data(), colours.data(), count};
    struct Shape {
        int width, height, margin;
    };
    for (SimdLevel level : {SimdLevel::plain, SimdLevel::avx2}) {
        if (level > supportedSimdLevel())
            continue;
        SimdLevelGuard guard(level);
        // Also pictures of fewer rows than threads (some bands hold none) and one whose last rows
        // take corners past its height (wider than 512, no margin).
        for (Shape shape : {Shape{512, 384, 1}, Shape{512, 384, 2}, Shape{500, 300, 1}, Shape{512, 3, 1},
                            Shape{600, 5, 0}}) {
            TestPicture reference(512, shape.height + 2, 0x00FF0101);
            reference.bitmap.width = shape.width;
            reference.bitmap.height = shape.height;
            addGlowDotsPlain(reference.bitmap, batch, 4000, 4096, shape.margin);
            // One scratch for every thread count, as a layer keeps it when the count changes.
            GlowDotScratch scratch;
            for (int threads : {1, 8, 2, 3}) {
                BandThreadsGuard guard(threads);
                TestPicture banded(512, shape.height + 2, 0x00FF0101);
                banded.bitmap.width = shape.width;
                banded.bitmap.height = shape.height;
                addGlowDotsInBands(banded.bitmap, batch, 4000, 4096, shape.margin, scratch);
                ASSERT_EQ(banded.storage, reference.storage)
                    << threads << " threads, " << shape.width << " x " << shape.height;
            }
        }
    }
}

} // namespace
