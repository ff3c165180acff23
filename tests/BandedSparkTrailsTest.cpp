// The spark systems' dots, trail addition and trail blur split over the band pool: every frame the
// same bits as one thread, at every vector level.

#include "capture/PixelHash.h"
#include "core/Random.h"
#include "core/ShowObjects.h"
#include "core/SineTable.h"
#include "effects/ParticleRingLayer.h"
#include "effects/ParticleStreamsLayer.h"
#include "effects/SparkTrails.h"

#include "BandedTestSupport.h"
#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
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
        renderLayer(sparks, screen.bitmap, seconds);
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

// The fast paths move every spark before any is born again, over bands of sparks: the plain
// loop, one spark after another, must give the same frames and the same random draws.
TEST(BandedSparkTrails, BulkMovesAndBirthsMatchThePlainLoop) {
    auto expectPlainFrames = [](auto drawRun) {
        std::vector<std::uint64_t> plain;
        {
            SimdLevelGuard guard(SimdLevel::plain);
            BandThreadsGuard threads(1);
            plain = drawRun();
        }
        for (int threadCount : {1, 3}) {
            BandThreadsGuard threads(threadCount);
            EXPECT_EQ(drawRun(), plain) << threadCount << " threads";
        }
    };
    expectPlainFrames(drawSparkRun<ParticleStreamsLayer>);
    expectPlainFrames(drawSparkRun<ParticleRingLayer>);
}

// The spent sparks of every band, gathered in order: bands with none, bands where all are spent,
// and fewer sparks than bands.
TEST(BandedSparkTrails, StepListsTheSpentSparksInOrder) {
    for (int count : {0, 1, 2, 7, 100}) {
        std::vector<SparkParticle> reference;
        for (int i = 0; i < count; ++i)
            reference.emplace_back(i, 0, 0, 3, -2, 1, 0xFFFFFF, i < 40 ? 1 + i % 3 : 5);
        std::vector<int> expectedSpent;
        for (int i = 0; i < count; ++i)
            if (reference[std::size_t(i)].life == 1)
                expectedSpent.push_back(i);
        for (int threadCount : {1, 2, 3, 8}) {
            BandThreadsGuard threads(threadCount);
            std::vector<SparkParticle> sparks = reference;
            std::vector<int> spent{99, 99, 99};
            stepSparks(sparks, spent);
            EXPECT_EQ(spent, expectedSpent) << count << " sparks, " << threadCount << " threads";
            for (int i = 0; i < count; ++i) {
                const SparkParticle& moved = sparks[std::size_t(i)];
                EXPECT_TRUE(moved.x == i + 3 && moved.y == -2 && moved.z == 1 &&
                            moved.life == reference[std::size_t(i)].life - 1)
                    << "spark " << i << ", " << threadCount << " threads";
            }
        }
    }
}

// Shares of 1, 4, 9, ... out of their sum, growing with the band or (`falling`) shrinking.
std::vector<double> skewedShares(int bands, bool falling) {
    std::vector<double> shares;
    for (int band = 0; band < bands; ++band) {
        int rank = falling ? bands - band : band + 1;
        shares.push_back(rank * rank);
    }
    return shares;
}

// The fused frame (particles turned, placed and moved in one split, dots and trails added and blurred
// by rows in another) against the steps one after another on one thread: sparks scattered over the whole
// picture and past its edges, so that dots fall on the first and last rows and across the bands'
// boundaries, with short lives so that some are spent each step and born again. The bands' bounds
// are skewed one way and then the other before the first two steps, as the balancing may leave them,
// and before the third a middle band of rows is left empty. The screen may be smaller than the
// trails (the blur then stops at its edge, and an odd number of rows ends on a single one).
std::vector<std::uint64_t> drawFusedSparkSteps(int screenWidth, int screenHeight) {
    std::mt19937 random(91);
    auto within = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    std::vector<SparkParticle> sparks;
    for (int i = 0; i < 6000; ++i)
        sparks.emplace_back(within(-70000, 70000), within(-56000, 56000), within(-30000, 40000), within(-512, 512),
                            within(-512, 512), within(-512, 512), static_cast<std::uint32_t>(random()),
                            within(1, 4));
    TestPicture screen(screenWidth, screenHeight);
    fillRandom(screen.storage, 92);
    std::vector<std::uint32_t> accumulation(trailPixels);
    fillRandom(accumulation, 93);
    for (std::uint32_t& pixel : accumulation)
        pixel &= 0x003F3F3F;
    Bitmap trails;
    trails.width = trailWidth;
    trails.height = trailHeight;
    trails.pixels = accumulation.data();
    std::vector<std::uint64_t> hashes;
    std::vector<int> spent;
    SparkBands bands;
    for (int step = 0; step < 3; ++step) {
        SparkRotation rotation(*SineTable::instance(), 300 * step, 1000 + 700 * step, -200 * step);
        const int bandCount = bandPool().bands();
        if (step < 2) {
            bands.particles.presetShares(skewedShares(bandCount, step == 0));
            bands.rows.presetShares(skewedShares(bandCount, step == 1));
        } else if (bandCount >= 3) {
            std::vector<double> shares(bandCount, 1.0);
            shares[1] = 1e-6;
            bands.rows.presetShares(shares);
        }
        // Births that move the spent sparks somewhere new by their order in the list, once.
        int birthCalls = 0;
        drawSparkFrame(screen.bitmap, trails, rotation, sparks, spent, bands, [&] {
            ++birthCalls;
            for (std::size_t k = 0; k < spent.size(); ++k)
                sparks[spent[k]] = SparkParticle(int(k) * 97 - 30000, int(k) * 31, 5000, 40, -40, 7, 0x102030, 3);
        });
        hashes.push_back(static_cast<std::uint64_t>(birthCalls));
        hashes.push_back(pixelHash(screen.storage.data(), screen.storage.size(), 0xFFFFFFFF));
        hashes.push_back(pixelHash(accumulation.data(), accumulation.size(), 0xFFFFFFFF));
        hashes.push_back(spent.size());
        for (int i : spent)
            hashes.push_back(static_cast<std::uint64_t>(i));
        for (const SparkParticle& spark : sparks)
            hashes.back() = hashes.back() * 31 + static_cast<std::uint32_t>(spark.x ^ spark.y ^ spark.z ^ spark.life);
    }
    return hashes;
}

TEST(BandedSparkTrails, FusedFrameMatchesTheStepsOneAfterAnother) {
    for (auto [width, height] : {std::pair{512, 384}, std::pair{512, 383}, std::pair{300, 7}, std::pair{2, 384}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        expectSameFramesAtEveryLevelAndThreadCount([&] { return drawFusedSparkSteps(width, height); });
    }
}

// The blur's wavefront on pictures of other sizes: an odd number of rows (a single row after the
// pairs), a few rows or columns only, and sizes past the accumulation image; each against the plain
// blur, several passes over the same noise.
TEST(BandedSparkTrails, BlurMatchesThePlainBlurForAnySize) {
    struct Size {
        int width, height;
    };
    // The rows go eight at a time with AVX2 (the rows left over four, two and one at a time) and two
    // with SSE2; the heights leave every count of rows over, and the widths leave no column, or
    // fewer than eight, for the rows' diagonal.
    const Size sizes[] = {{512, 384}, {512, 383}, {512, 381}, {37, 11}, {33, 10}, {64, 14},
                          {300, 5},   {3, 200},   {4, 4},     {5, 9},   {9, 30},  {700, 500}};
    for (SimdLevel level : {SimdLevel::sse2, SimdLevel::avx2}) {
        if (level > supportedSimdLevel())
            continue;
        SimdLevelGuard simd(level);
        for (Size size : sizes) {
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
                ASSERT_EQ(banded, reference) << threads << " threads, " << size.width << " x " << size.height
                                             << ", level " << int(level);
            }
        }
    }
}

} // namespace
