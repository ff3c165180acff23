// The spark systems' dots, trail addition and trail blur split over the band pool: every frame the
// same bits as one thread, at every vector level.

#include "capture/PixelHash.h"
#include "core/Random.h"
#include "core/ShowObjects.h"
#include "effects/ParticleRingLayer.h"
#include "effects/ParticleStreamsLayer.h"
#include "effects/SparkTrails.h"

#include "BandedTestSupport.h"
#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// 16,000 sparks (the show's count) over 80 frames from 5 s: the first frames fire and re-fire
// sparks from the shared random state, a pause in the middle moves them by the whole gap, and
// the layer is then taken out for a while (a new screen under it). The hash covers the screen and
// the trails the next frame starts from.
template <class SparkLayer> std::vector<std::uint64_t> drawSparkRun() {
    std::vector<std::uint32_t> buffer(workBufferWords, 0xDEADBEEF);
    workBufferA = buffer.data();
    TestPicture screen(512, 384);
    fillRandom(screen.storage, 51);
    randomState = 1234;
    SparkLayer sparks(16000);
    std::vector<std::uint64_t> hashes;
    double seconds = 5.0;
    for (int frame = 0; frame < 80; ++frame) {
        seconds += frame == 40 ? 2.5 : 1.0 / 60.0;
        if (frame == 60)
            fillRandom(screen.storage, 52);
        sparks.render(screen.bitmap, seconds);
        hashes.push_back(pixelHash(screen.storage.data(), screen.storage.size(), 0xFFFFFFFF));
        hashes.push_back(pixelHash(buffer.data(), screenPixelCount, 0xFFFFFFFF));
        hashes.push_back(randomState);
    }
    workBufferA = nullptr;
    return hashes;
}

TEST(BandedSparkTrails, StreamsMatchOneThreadAtEveryLevel) {
    expectSameFramesAtEveryLevelAndThreadCount(drawSparkRun<ParticleStreamsLayer>);
}

TEST(BandedSparkTrails, RingMatchesOneThreadAtEveryLevel) {
    for (SimdLevel level : {SimdLevel::sse2, SimdLevel::avx2}) {
        if (level > supportedSimdLevel())
            continue;
        SimdLevelGuard guard(level);
        expectSameFramesAtEveryThreadCount(drawSparkRun<ParticleRingLayer>);
    }
}

// The blur's wavefront on pictures of other sizes: an odd number of rows (a single row after the
// pairs), a few rows or columns only, and sizes past the accumulation image; each against the plain
// blur, several passes over the same noise.
TEST(BandedSparkTrails, BlurMatchesThePlainBlurForAnySize) {
    struct Size {
        int width, height;
    };
    for (Size size :
         {Size{512, 384}, Size{512, 383}, Size{300, 5}, Size{3, 200}, Size{4, 4}, Size{700, 500}}) {
        std::vector<std::uint32_t> source(512 * 384);
        fillRandom(source, 61);
        std::vector<std::uint32_t> reference = source;
        for (int pass = 0; pass < 3; ++pass)
            blurTrailsPlain(reference.data(), size.width, size.height);
        for (int threads : {1, 2, 3, 8}) {
            BandThreadsGuard guard(threads);
            std::vector<std::uint32_t> banded = source;
            for (int pass = 0; pass < 3; ++pass)
                blurTrails(banded.data(), size.width, size.height);
            ASSERT_EQ(banded, reference) << threads << " threads, " << size.width << " x " << size.height;
        }
    }
}

} // namespace
