#include "effects/ParticleRingLayer.h"

#include "core/Random.h"
#include "core/ShowObjects.h"
#include "core/SimdLevel.h"
#include "effects/SparkTrails.h"
#include "effects/WrappingTruncation.h"
#include "platform/ptc/Error.h"

#include <algorithm>

namespace {

// Frequencies of the ring's radius pulse and of its height wave, per unit of emitter time.
struct RingEmitter {
    double pulse[4];
    double height[4];
    int heightShift;
};

constexpr RingEmitter emitterA{{12.2, 11.2, 13.2, 19.1}, {22.1, 43.2, 15.6, 57.1}, 14};
constexpr RingEmitter emitterB{{13.1, 12.0, 13.5, 16.3}, {22.3, 41.2, 15.7, 57.5}, 15};

struct RingPoint {
    std::int32_t x, y, z;
};

// The emitter's point on the ring at the whole part of the emitter time. The clock is above 10^8,
// so the products with the frequencies pass 2^31: they are truncated to 64 bits and only their low
// bits index the table.
RingPoint ringPoint(const SineTable& table, const RingEmitter& emitter, double emitterTime) {
    std::int32_t whole = truncateToLow32(emitterTime);
    double clock = whole;
    auto wave = [&](double frequency) { return table.sin(truncateToLow32(clock * frequency)); };

    // Radius 0 .. 4096: the pulse (-32764 .. 32764) lifted to 4 .. 65532, scaled to 0 .. 4095, squared.
    std::int32_t pulse = (wave(emitter.pulse[0]) + wave(emitter.pulse[1]) + wave(emitter.pulse[2]) +
                          wave(emitter.pulse[3]) + 0x8000) >>
                         4;
    std::int32_t radius = (pulse * pulse) >> 12;
    // Height scale 0 .. 8192, flattest where the radius is about a quarter turn.
    std::int32_t heightScale = (table.cos(radius) + 8192) >> 1;

    // One turn of the ring per 64 units of the clock (8192 / 128).
    std::int32_t around = static_cast<std::int32_t>(static_cast<std::uint32_t>(whole) << 7);
    RingPoint point{};
    point.x = (table.sin(around) * radius) >> 9;
    point.z = (table.cos(around) * radius) >> 9;
    std::int32_t heightWave = 4 * wave(emitter.height[0]) + 2 * wave(emitter.height[1]) +
                              wave(emitter.height[2]) + wave(emitter.height[3]);
    point.y = (heightWave * heightScale) >> emitter.heightShift;
    return point;
}

struct RingVelocity {
    std::int32_t vx, vy, vz;
};

RingVelocity drawVelocity() {
    RingVelocity velocity{};
    velocity.vx = nextRandom(256) - 128;
    velocity.vy = nextRandom(64) - 32;
    velocity.vz = nextRandom(256) - 128;
    return velocity;
}

std::uint32_t packColour(std::int32_t red, std::int32_t green, std::int32_t blue) {
    return (static_cast<std::uint32_t>(red) << 16) + (static_cast<std::uint32_t>(green) << 8) +
           static_cast<std::uint32_t>(blue);
}

} // namespace

ParticleRingLayer::ParticleRingLayer(int count) : count(std::max(count, 0)), accumulation(workBufferA) {
    if (accumulation == nullptr)
        throw ptc::DynamicError("ParticleRingLayer needs workBufferA, which is not allocated");
    particles.reserve(this->count);
    for (int i = 0; i < this->count; ++i)
        particles.emplace_back(0, 0, 0, 0, 0, 0, 0, i & 127);
}

SparkParticle ParticleRingLayer::fireFromEmitterA() const {
    RingPoint point = ringPoint(*sineTable, emitterA, emitterTime);
    RingVelocity velocity = drawVelocity();
    std::int32_t red = nextRandom(64) + 64;
    std::int32_t green = nextRandom(96) + 128;
    std::int32_t blue = nextRandom(16) + 240;
    std::int32_t life = nextRandom(64) + 64;
    return SparkParticle(point.x, point.y, point.z, velocity.vx, velocity.vy, velocity.vz,
                         packColour(red, green, blue), life);
}

SparkParticle ParticleRingLayer::fireFromEmitterB() const {
    RingPoint point = ringPoint(*sineTable, emitterB, emitterTime);
    RingVelocity velocity = drawVelocity();
    std::int32_t green = nextRandom(16) + 240;
    std::int32_t red = nextRandom(64) + 64;
    std::int32_t blue = nextRandom(96) + 128;
    std::int32_t life = nextRandom(64) + 64;
    return SparkParticle(point.x, point.y, point.z, velocity.vx, velocity.vy, velocity.vz,
                         packColour(red, green, blue), life);
}

void ParticleRingLayer::render(Bitmap& target, double seconds) {
    if (clearPending) {
        clearPending = false;
        std::fill(accumulation, accumulation + trailPixels, 0u);
    }
    if (lastTime == -1.0)
        lastTime = seconds;
    frameTime = seconds - lastTime;
    lastTime = seconds;

    // A gentle rock about x and z, a steady spin about y.
    angleX = sineTable->sin(truncateToLow32(seconds * 33.0)) / 16;
    angleY = truncateToLow32(seconds * 166.0);
    angleZ = sineTable->sin(truncateToLow32(seconds * 10.0)) / 8;
    SparkRotation rotation(*sineTable, angleX, angleY, angleZ);

    Bitmap trails;
    trails.width = trailWidth;
    trails.height = trailHeight;
    trails.pixels = accumulation;

    // The emitters take turns, and each birth moves the emitters on.
    auto fire = [&] {
        SparkParticle born = nextEmitter < 0 ? fireFromEmitterA() : fireFromEmitterB();
        nextEmitter = -nextEmitter;
        emitterTime += frameTime * 0.5;
        return born;
    };
    // Dots may be blended in any order, so the fast paths draw them all before any spark moves,
    // and then move them all before any is born again.
    if (simdLevel() != SimdLevel::plain) {
        // The births change neither image: they run beside the addition of the trails.
        drawSparkFrame(target, trails, rotation, particles, spent, bands, [&] {
            for (int i : spent)
                particles[i] = fire();
        });
        return;
    }

    for (SparkParticle& particle : particles) {
        drawTurnedSpark(trails, rotation, particle);
        particle.step();
        if (particle.life <= 0)
            particle = fire();
    }

    addTrails(target, accumulation);
    blurTrails(accumulation, target.width, target.height);
}
