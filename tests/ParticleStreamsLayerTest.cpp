#include "effects/ParticleStreamsLayer.h"
#include "core/Random.h"
#include "core/ShowObjects.h"
#include "core/SimdLevel.h"
#include "core/SineTable.h"
#include "effects/SparkTrails.h"
#include "platform/ptc/Error.h"

#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

namespace {

// Points workBufferA at a buffer of the test's own for the layer's lifetime.
struct OwnWorkBuffer {
    std::vector<std::uint32_t> memory = std::vector<std::uint32_t>(workBufferWords, 0xDEADBEEF);
    std::uint32_t* saved = workBufferA;
    OwnWorkBuffer() { workBufferA = memory.data(); }
    ~OwnWorkBuffer() { workBufferA = saved; }
    std::uint32_t at(int column, int row) const { return memory[row * 512 + column]; }
};

struct Screen {
    std::vector<std::uint32_t> memory;
    Bitmap bitmap;
    explicit Screen(std::uint32_t fill) : memory(512 * 384, fill) {
        bitmap.width = 512;
        bitmap.height = 384;
        bitmap.pixels = memory.data();
    }
};

std::vector<std::uint32_t> seededPixels(std::size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::vector<std::uint32_t> pixels(count);
    for (std::uint32_t& pixel : pixels)
        pixel = generator();
    return pixels;
}

} // namespace

TEST(ParticleStreamsLayer, NeedsTheWorkBuffer) {
    std::uint32_t* saved = workBufferA;
    workBufferA = nullptr;
    EXPECT_THROW(ParticleStreamsLayer(10), ptc::DynamicError);
    workBufferA = saved;
}

TEST(ParticleStreamsLayer, LivesZeroAndOneAreRefiredOnTheFirstFrame) {
    OwnWorkBuffer buffer;
    ParticleStreamsLayer layer(3); // lives 0, 1, 2
    Screen screen(0x00102030);

    // At time 0 every emitter sine is 0: new sparks start at the origin.
    randomState = 4242;
    std::uint32_t seed = randomState;
    layer.render(screen.bitmap, 0.0);
    std::uint32_t stateAfterFrame = randomState;

    randomState = seed;
    int expected[14];
    for (int& value : expected)
        value = 0;
    for (int spark = 0; spark < 2; ++spark) {
        int* draws = expected + 7 * spark;
        draws[0] = nextRandom(1024) - 512;
        draws[1] = nextRandom(1024) - 512;
        draws[2] = nextRandom(1024) - 512;
        draws[3] = nextRandom(16);
        draws[4] = nextRandom(96);
        draws[5] = nextRandom(96);
        draws[6] = nextRandom(64) + 64;
    }
    EXPECT_EQ(randomState, stateAfterFrame); // two sparks, seven draws each, nothing else

    const SparkParticle& orange = layer.particles[0];
    EXPECT_EQ(orange.x, 0);
    EXPECT_EQ(orange.vx, expected[0]);
    EXPECT_EQ(orange.vy, expected[1]);
    EXPECT_EQ(orange.vz, expected[2]);
    EXPECT_EQ(orange.colour, static_cast<std::uint32_t>((240 + expected[3]) << 16 | (128 + expected[4]) << 8 |
                                                        (64 + expected[5])));
    EXPECT_EQ(orange.life, expected[6]);

    const SparkParticle& blue = layer.particles[1];
    EXPECT_EQ(blue.vx, expected[7]);
    EXPECT_EQ(blue.colour, static_cast<std::uint32_t>((64 + expected[12]) << 16 | (128 + expected[11]) << 8 |
                                                      (240 + expected[10])));
    EXPECT_EQ(blue.life, expected[13]);

    EXPECT_EQ(layer.particles[2].life, 1);
    EXPECT_EQ(layer.particles[2].colour, 0u);

    // Sparks are drawn before they are fired, so the first frame drew only black dots.
    for (std::uint32_t pixel : screen.memory)
        ASSERT_EQ(pixel, 0x00102030u);
}

TEST(ParticleStreamsLayer, NewSparksShowOnTheNextFrame) {
    OwnWorkBuffer buffer;
    ParticleStreamsLayer layer(2);
    Screen screen(0);
    layer.render(screen.bitmap, 0.0);
    layer.render(screen.bitmap, 0.0);
    int lit = 0;
    for (std::uint32_t pixel : screen.memory)
        lit += pixel != 0;
    EXPECT_GT(lit, 0);
}

TEST(SparkTrails, UniformBlurLosesASixtyFourthInPlace) {
    OwnWorkBuffer buffer;
    std::fill(buffer.memory.begin(), buffer.memory.end(), 0xFFFFFFFF);
    blurTrails(buffer.memory.data(), 512, 384);
    EXPECT_EQ(buffer.at(1, 1), 0x00FCFCFCu); // 255 - (255 >> 6) = 252, top byte cleared
    // Next right: up 255, down 255, right 255, left already 252: (1017 >> 2) = 254, less 3.
    EXPECT_EQ(buffer.at(2, 1), 0x00FBFBFBu);
    EXPECT_EQ(buffer.at(1, 2), 0x00FBFBFBu);
    // The outermost rows and columns are left alone.
    EXPECT_EQ(buffer.at(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(buffer.at(0, 200), 0xFFFFFFFFu);
    EXPECT_EQ(buffer.at(511, 200), 0xFFFFFFFFu);
    EXPECT_EQ(buffer.at(300, 0), 0xFFFFFFFFu);
    EXPECT_EQ(buffer.at(300, 383), 0xFFFFFFFFu);

    // Values below 64 lose nothing.
    std::fill(buffer.memory.begin(), buffer.memory.end(), 0x003F203F);
    blurTrails(buffer.memory.data(), 512, 384);
    for (int row = 1; row < 383; ++row)
        for (int column = 1; column < 511; ++column)
            ASSERT_EQ(buffer.at(column, row), 0x003F203Fu) << column << ", " << row;
}

TEST(SparkTrails, BlurAveragesEachChannelOnItsOwn) {
    OwnWorkBuffer buffer;
    std::fill(buffer.memory.begin(), buffer.memory.end(), 0u);
    // Only the right neighbour of (1, 1) is lit: 0xFF, 0x80, 0x04 quartered: 0x3F, 0x20, 0x01.
    buffer.memory[1 * 512 + 2] = 0x00FF8004;
    blurTrails(buffer.memory.data(), 512, 384);
    EXPECT_EQ(buffer.at(1, 1), 0x003F2001u);
}

TEST(SparkTrails, AddSaturatesEveryByte) {
    Screen screen(0x80FF1020);
    std::vector<std::uint32_t> trails(workBufferWords, 0x80017010);
    addTrails(screen.bitmap, trails.data());
    EXPECT_EQ(screen.memory[0], 0xFFFF8030u);
    EXPECT_EQ(screen.memory[512 * 384 - 1], 0xFFFF8030u);

    Screen untouched(0x00ABCDEF);
    std::vector<std::uint32_t> black(workBufferWords, 0);
    addTrails(untouched.bitmap, black.data());
    for (std::uint32_t pixel : untouched.memory)
        ASSERT_EQ(pixel, 0x00ABCDEFu);
}

TEST(SparkTrails, FastPassesMatchThePlainOnes) {
    std::vector<std::uint32_t> trails = seededPixels(workBufferWords, 11);
    Screen fast(0), plain(0);
    fast.memory = seededPixels(512 * 384, 12);
    plain.memory = fast.memory;
    fast.bitmap.pixels = fast.memory.data();
    plain.bitmap.pixels = plain.memory.data();
    addTrails(fast.bitmap, trails.data());
    addTrailsPlain(plain.bitmap, trails.data());
    EXPECT_EQ(fast.memory, plain.memory);

    // Odd row counts leave a row without a partner; tiny sizes leave one column or none.
    struct Size {
        int width, height;
    };
    for (Size size : {Size{512, 384}, Size{300, 101}, Size{3, 3}, Size{4, 6}, Size{2, 9}, Size{640, 480}}) {
        for (unsigned seed : {1u, 2u, 3u}) {
            std::vector<std::uint32_t> blurred = seededPixels(workBufferWords, seed);
            // Dim pixels too, where the decay does nothing and the mean decides alone.
            if (seed == 3)
                for (std::uint32_t& pixel : blurred)
                    pixel &= 0x3F3F3F3F;
            std::vector<std::uint32_t> reference = blurred;
            blurTrails(blurred.data(), size.width, size.height);
            blurTrailsPlain(reference.data(), size.width, size.height);
            ASSERT_EQ(blurred, reference) << "seed " << seed << ", " << size.width << " x " << size.height;
        }
    }
}

TEST(SparkTrails, PassesStayInsideTheAccumulationImage) {
    // A target larger than the 512 x 384 image: the passes stop at its edges.
    std::vector<std::uint32_t> trails(workBufferWords, 0x00404040);
    std::vector<std::uint32_t> big(640 * 480, 0);
    Bitmap target;
    target.width = 640;
    target.height = 480;
    target.pixels = big.data();
    addTrails(target, trails.data());
    EXPECT_EQ(big[512 * 384 - 1], 0x00404040u);
    EXPECT_EQ(big[512 * 384], 0u);
    blurTrails(trails.data(), 640, 480);
    EXPECT_EQ(trails[383 * 512 + 5], 0x00404040u); // the last row is still the edge
    EXPECT_EQ(trails[384 * 512 + 5], 0x00404040u);
}

namespace {

// Eighty frames of a streams layer at the given vector level: the screen, the trails, the sparks
// and the generator afterwards, in one list.
std::vector<std::uint32_t> streamsRun(SimdLevel level) {
    SimdLevel saved = simdLevel();
    setSimdLevel(level);
    OwnWorkBuffer buffer;
    ParticleStreamsLayer layer(3000);
    Screen screen(0);
    screen.memory = seededPixels(512 * 384, 5);
    screen.bitmap.pixels = screen.memory.data();
    randomState = 2718;
    for (int frame = 0; frame < 80; ++frame)
        layer.render(screen.bitmap, 20.0 + frame / 60.0);
    std::vector<std::uint32_t> state = screen.memory;
    state.insert(state.end(), buffer.memory.begin(), buffer.memory.end());
    for (const SparkParticle& spark : layer.particles)
        state.insert(state.end(),
                     {static_cast<std::uint32_t>(spark.x), static_cast<std::uint32_t>(spark.y),
                      static_cast<std::uint32_t>(spark.z), static_cast<std::uint32_t>(spark.life)});
    state.push_back(randomState);
    setSimdLevel(saved);
    return state;
}

} // namespace

TEST(ParticleStreamsLayer, FastPathsMatchThePlainLoop) {
    std::vector<std::uint32_t> plain = streamsRun(SimdLevel::plain);
    EXPECT_TRUE(plain == streamsRun(SimdLevel::sse2));
    if (supportedSimdLevel() == SimdLevel::avx2) {
        EXPECT_TRUE(plain == streamsRun(SimdLevel::avx2));
    }
}

// The turn eight sparks at a time gives turned()'s values for positions over the whole 32-bit
// range, where the products wrap, at every level and for counts that leave sparks over.
TEST(SparkTrails, TurningManyAtOnceMatchesTurningOne) {
    std::mt19937 random(77);
    std::vector<SparkParticle> sparks;
    for (int i = 0; i < 45; ++i) {
        auto any = [&] { return static_cast<std::int32_t>(random()); };
        sparks.emplace_back(any(), any(), any(), any(), any(), any(), static_cast<std::uint32_t>(random()), any());
    }
    sparks[3] = SparkParticle(INT32_MIN, INT32_MAX, INT32_MIN, 0, 0, 0, 0xFFFFFFFF, 0);
    const SparkRotation rotation(*SineTable::instance(), 1234, -5678, 99999);
    for (SimdLevel level : {SimdLevel::plain, SimdLevel::sse2, SimdLevel::avx2}) {
        SimdLevelGuard guard(level);
        for (int count : {45, 40, 7, 0}) {
            std::vector<std::int32_t> x(count), y(count), z(count);
            std::vector<std::uint32_t> colours(count);
            rotation.turnInto(sparks.data(), count, x.data(), y.data(), z.data(), colours.data());
            for (int i = 0; i < count; ++i) {
                SparkParticle one = rotation.turned(sparks[i]);
                ASSERT_TRUE(x[i] == one.x && y[i] == one.y && z[i] == one.z && colours[i] == one.colour)
                    << "spark " << i << " of " << count << ", level " << static_cast<int>(level);
            }
        }
    }
}
