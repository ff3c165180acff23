#include "effects/ParticleStreamsLayer.h"

#include "core/Random.h"
#include "core/ShowObjects.h"
#include "core/SimdLevel.h"
#include "effects/SparkTrails.h"
#include "effects/WrappingTruncation.h"
#include "platform/ptc/Error.h"

#include <algorithm>

namespace {

// The random part of a new spark, drawn in this order for both emitters.
struct SparkDraws {
    std::int32_t vx, vy, vz;
    std::int32_t red16, green96, other96;
    std::int32_t life;
};

SparkDraws drawSpark() {
    SparkDraws draws{};
    draws.vx = nextRandom(1024) - 512;
    draws.vy = nextRandom(1024) - 512;
    draws.vz = nextRandom(1024) - 512;
    draws.red16 = nextRandom(16);
    draws.green96 = nextRandom(96);
    draws.other96 = nextRandom(96);
    draws.life = nextRandom(64) + 64;
    return draws;
}

std::uint32_t packColour(std::int32_t red, std::int32_t green, std::int32_t blue) {
    return (static_cast<std::uint32_t>(red) << 16) + (static_cast<std::uint32_t>(green) << 8) +
           static_cast<std::uint32_t>(blue);
}

} // namespace

ParticleStreamsLayer::ParticleStreamsLayer(int count) : count(std::max(count, 0)), accumulation(workBufferA) {
    if (accumulation == nullptr)
        throw ptc::DynamicError("ParticleStreamsLayer needs workBufferA, which is not allocated");
    particles.reserve(this->count);
    for (int i = 0; i < this->count; ++i)
        particles.emplace_back(0, 0, 0, 0, 0, 0, 0, i & 127);
}

SparkParticle ParticleStreamsLayer::fireFromEmitterA(int emitterTime) const {
    auto wave = [&](double frequency) { return sineTable->sin(truncateToLow32(emitterTime * frequency)); };
    std::int32_t x = 4 * wave(1.1) + 2 * wave(3.1) + wave(6.6) + wave(4.3);
    std::int32_t y = 4 * wave(2.1) + 2 * wave(3.2) + wave(5.6) + wave(7.1);
    std::int32_t z = 4 * wave(1.8) + 2 * wave(5.7) + wave(5.1) + wave(9.1);
    SparkDraws draws = drawSpark();
    std::uint32_t orange = packColour(240 + draws.red16, 128 + draws.green96, 64 + draws.other96);
    return SparkParticle(x, y, z, draws.vx, draws.vy, draws.vz, orange, draws.life);
}

SparkParticle ParticleStreamsLayer::fireFromEmitterB(int emitterTime) const {
    auto wave = [&](double frequency) { return sineTable->sin(truncateToLow32(emitterTime * frequency)); };
    std::int32_t x = 4 * wave(3.1) + 2 * wave(5.1) + wave(1.3) + wave(3.6);
    std::int32_t y = 4 * wave(1.1) + 2 * wave(4.2) + wave(4.6) + wave(5.1);
    std::int32_t z = 4 * wave(4.8) + 2 * wave(2.7) + wave(8.1) + wave(2.1);
    SparkDraws draws = drawSpark();
    std::uint32_t blue = packColour(64 + draws.other96, 128 + draws.green96, 240 + draws.red16);
    return SparkParticle(x, y, z, draws.vx, draws.vy, draws.vz, blue, draws.life);
}

void ParticleStreamsLayer::render(Bitmap& target, double seconds) {
    if (clearPending) {
        clearPending = false;
        std::fill(accumulation, accumulation + trailPixels, 0u);
    }

    // Sine values used again as angles: the cloud rocks rather than spins.
    angleX = sineTable->sin(truncateToLow32(seconds * 33.0));
    angleY = sineTable->sin(truncateToLow32(seconds * 66.0)) / 2;
    angleZ = sineTable->sin(truncateToLow32(seconds * 10.0)) / 4;
    SparkRotation rotation(*sineTable, angleX, angleY, angleZ);

    Bitmap trails;
    trails.width = trailWidth;
    trails.height = trailHeight;
    trails.pixels = accumulation;

    std::int32_t emitterTime = truncateToLow32(seconds * 416.0);
    auto fire = [&](int i) {
        return (i & 1) == 0 ? fireFromEmitterA(emitterTime) : fireFromEmitterB(emitterTime);
    };
    // Dots may be blended in any order, so the fast paths draw them all before any spark moves,
    // and then move them all before any is born again.
    if (simdLevel() != SimdLevel::plain) {
        // The births change neither image: they run beside the addition of the trails.
        drawSparkFrame(target, trails, rotation, particles, spent, bands, [&] {
            for (int i : spent)
                particles[i] = fire(i);
        });
        return;
    }

    for (int i = 0; i < count; ++i) {
        SparkParticle& particle = particles[i];
        drawTurnedSpark(trails, rotation, particle);
        particle.step();
        if (particle.life <= 0)
            particle = fire(i);
    }

    addTrails(target, accumulation);
    blurTrails(accumulation, target.width, target.height);
}
