#include "effects/ParticleRingLayer.h"
#include "core/Random.h"
#include "core/ShowObjects.h"
#include "core/SimdLevel.h"
#include "core/SineTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct OwnWorkBuffer {
    std::vector<std::uint32_t> memory = std::vector<std::uint32_t>(workBufferWords, 0);
    std::uint32_t* saved = workBufferA;
    OwnWorkBuffer() { workBufferA = memory.data(); }
    ~OwnWorkBuffer() { workBufferA = saved; }
};

struct Screen {
    std::vector<std::uint32_t> memory = std::vector<std::uint32_t>(512 * 384, 0);
    Bitmap bitmap;
    Screen() {
        bitmap.width = 512;
        bitmap.height = 384;
        bitmap.pixels = memory.data();
    }
};

std::uint32_t channel(std::uint32_t colour, int shift) {
    return (colour >> shift) & 0xFF;
}

bool fromEmitterA(const SparkParticle& spark) { // green 128..223, blue 240..255
    return channel(spark.colour, 8) < 224 && channel(spark.colour, 0) >= 240;
}

bool fromEmitterB(const SparkParticle& spark) { // green 240..255, blue 128..223
    return channel(spark.colour, 8) >= 240 && channel(spark.colour, 0) < 224;
}

// The sine-table index of trunc(clock * frequency), reduced modulo 8192 through a double
// remainder rather than integer wrapping.
int wideIndex(double clock, double frequency) {
    return static_cast<int>(std::fmod(std::trunc(clock * frequency), 8192.0));
}

} // namespace

TEST(ParticleRingLayer, EmittersAlternatePerSparkNotPerIndex) {
    OwnWorkBuffer buffer;
    ParticleRingLayer layer(5);
    int lives[5] = {9, 1, 0, 7, 1}; // re-fired: 1, 2, 4
    for (int i = 0; i < 5; ++i)
        layer.particles[i].life = lives[i];
    Screen screen;
    layer.render(screen.bitmap, 3.0);
    EXPECT_TRUE(fromEmitterA(layer.particles[1])) << std::hex << layer.particles[1].colour;
    EXPECT_TRUE(fromEmitterB(layer.particles[2])) << std::hex << layer.particles[2].colour;
    EXPECT_TRUE(fromEmitterA(layer.particles[4])) << std::hex << layer.particles[4].colour;
    EXPECT_EQ(layer.particles[0].life, 8);
    EXPECT_EQ(layer.nextEmitter, 1);
}

TEST(ParticleRingLayer, ColourAndVelocityDrawsComeInOrder) {
    OwnWorkBuffer buffer;
    ParticleRingLayer layer(2); // lives 0 and 1: both fired on the first frame, A then B
    Screen screen;
    randomState = 31337;
    layer.render(screen.bitmap, 1.0);
    std::uint32_t after = randomState;

    randomState = 31337;
    int vx = nextRandom(256) - 128, vy = nextRandom(64) - 32, vz = nextRandom(256) - 128;
    int red = nextRandom(64) + 64, green = nextRandom(96) + 128, blue = nextRandom(16) + 240;
    int life = nextRandom(64) + 64;
    const SparkParticle& a = layer.particles[0];
    EXPECT_EQ(a.vx, vx);
    EXPECT_EQ(a.vy, vy);
    EXPECT_EQ(a.vz, vz);
    EXPECT_EQ(a.colour, static_cast<std::uint32_t>(red << 16 | green << 8 | blue));
    EXPECT_EQ(a.life, life);

    nextRandom(256), nextRandom(64), nextRandom(256);
    int greenB = nextRandom(16) + 240, redB = nextRandom(64) + 64, blueB = nextRandom(96) + 128;
    nextRandom(64);
    EXPECT_EQ(layer.particles[1].colour, static_cast<std::uint32_t>(redB << 16 | greenB << 8 | blueB));
    EXPECT_EQ(randomState, after);
}

TEST(ParticleRingLayer, FirstSparksSitOnTheRingAtTheWideClock) {
    OwnWorkBuffer buffer;
    ParticleRingLayer layer(1);
    Screen screen;
    layer.render(screen.bitmap, 0.0);

    // Emitter A at clock 121038543: every product with a frequency passes 2^31.
    const SineTable& table = *SineTable::instance();
    double clock = 121038543.0;
    int pulse = (table.sin(wideIndex(clock, 12.2)) + table.sin(wideIndex(clock, 11.2)) +
                 table.sin(wideIndex(clock, 13.2)) + table.sin(wideIndex(clock, 19.1)) + 32768) /
                16;
    int radius = pulse * pulse / 4096;
    int heightScale = (table.cos(radius) + 8192) / 2;
    int around = (121038543 % 64) * 128; // 15 * 128
    int heightWave = 4 * table.sin(wideIndex(clock, 22.1)) + 2 * table.sin(wideIndex(clock, 43.2)) +
                     table.sin(wideIndex(clock, 15.6)) + table.sin(wideIndex(clock, 57.1));
    const SparkParticle& spark = layer.particles[0];
    EXPECT_EQ(spark.x, static_cast<int>(std::floor(table.sin(around) * radius / 512.0)));
    EXPECT_EQ(spark.z, static_cast<int>(std::floor(table.cos(around) * radius / 512.0)));
    EXPECT_EQ(spark.y, static_cast<int>(std::floor(static_cast<double>(heightWave) * heightScale / 16384.0)));
}

TEST(ParticleRingLayer, ClockStandsStillWhileFrameTimeIsZero) {
    OwnWorkBuffer buffer;
    ParticleRingLayer layer(300); // lives 0 and 1 for particles 0, 1, 128, 129, 256, 257
    Screen screen;
    layer.render(screen.bitmap, 8.0);
    EXPECT_EQ(layer.frameTime, 0.0);
    EXPECT_EQ(layer.emitterTime, 121038543.0);
    EXPECT_EQ(layer.nextEmitter, -1); // six sparks fired: back to emitter A

    layer.render(screen.bitmap, 8.0); // lives 2 and 130: two more sparks at frame time 0
    EXPECT_EQ(layer.emitterTime, 121038543.0);

    layer.render(screen.bitmap, 8.5); // lives 3, 131, 259: three sparks, each adding 0.25
    EXPECT_EQ(layer.frameTime, 0.5);
    EXPECT_EQ(layer.emitterTime, 121038543.0 + 0.75);
}

namespace {

std::vector<std::uint32_t> ringRun(SimdLevel level) {
    SimdLevel saved = simdLevel();
    setSimdLevel(level);
    OwnWorkBuffer buffer;
    ParticleRingLayer layer(3000);
    Screen screen;
    std::uint32_t seed = 99;
    for (std::uint32_t& pixel : screen.memory)
        pixel = seed = seed * 1664525u + 1013904223u;
    randomState = 161803;
    for (int frame = 0; frame < 80; ++frame)
        layer.render(screen.bitmap, 50.0 + frame / 50.0);
    std::vector<std::uint32_t> state = screen.memory;
    state.insert(state.end(), buffer.memory.begin(), buffer.memory.end());
    for (const SparkParticle& spark : layer.particles)
        state.insert(state.end(), {static_cast<std::uint32_t>(spark.x), static_cast<std::uint32_t>(spark.y),
                                   static_cast<std::uint32_t>(spark.z), spark.colour});
    state.push_back(randomState);
    setSimdLevel(saved);
    return state;
}

} // namespace

TEST(ParticleRingLayer, FastPathsMatchThePlainLoop) {
    std::vector<std::uint32_t> plain = ringRun(SimdLevel::plain);
    EXPECT_TRUE(plain == ringRun(SimdLevel::sse2));
    if (supportedSimdLevel() == SimdLevel::avx2) {
        EXPECT_TRUE(plain == ringRun(SimdLevel::avx2));
    }
}
