// The particle swarm split over the band pool: every frame the same bits as one thread, at every
// vector level.

#include "capture/PixelHash.h"
#include "core/Random.h"
#include "core/ShowObjects.h"
#include "effects/ParticleFlowLayer.h"

#include "BandedTestSupport.h"
#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int mapPixels = 512 * 384;

// Puts back the process-wide values the swarm reads and draws from.
struct FlowGlobals {
    std::uint32_t* glow = workBufferA;
    std::int32_t level = musicLevel;
    std::uint32_t random = randomState, flowRandom = flowRandomState;
    ~FlowGlobals() {
        workBufferA = glow;
        musicLevel = level;
        randomState = random;
        flowRandomState = flowRandom;
    }
};

// The first map climbs steeply to the right edge over its right third and rolls elsewhere, so
// that many sprites sit at the last columns (stamped pixel by pixel); the second has ridges with
// flat valleys between them, where the music shakes the particles harder.
std::vector<std::uint8_t> rampMap() {
    std::vector<std::uint8_t> map(mapPixels);
    for (int y = 0; y < 384; ++y)
        for (int x = 0; x < 512; ++x)
            map[y * 512 + x] = static_cast<std::uint8_t>(
                x > 340 ? std::min(255, (x - 340) * 3) : 60 + 50 * std::sin(x * 0.05) * std::cos(y * 0.04));
    return map;
}

std::vector<std::uint8_t> ridgeMap() {
    std::vector<std::uint8_t> map(mapPixels);
    for (int y = 0; y < 384; ++y)
        for (int x = 0; x < 512; ++x)
            map[y * 512 + x] = static_cast<std::uint8_t>(std::max(0.0, 240 * std::sin(y * 0.07 + x * 0.01)));
    return map;
}

// 8000 particles for 64 frames: from 20 s (5120 of them move), a jump to 40 s (all of them) at
// frame 20, the second map from frame 30 and the fade from frame 48; the music level climbs past
// 255. Particles are born on rows 3, 192 and 380 and their sprites straddle every band border.
// The hash covers the screen, the glow, the particles and the swarm's generator.
std::vector<std::uint64_t> drawFlowRun() {
    FlowGlobals saved;
    std::vector<std::uint32_t> glow(workBufferWords);
    workBufferA = glow.data();
    randomState = 4242;
    flowRandomState = initialFlowRandomState;
    std::vector<std::uint8_t> ramp = rampMap(), ridges = ridgeMap(), sprite(64);
    for (int r = 0; r < 7; ++r)
        for (int k = 0; k < 7; ++k)
            sprite[r * 8 + k] = static_cast<std::uint8_t>(std::max(0, 255 - 24 * ((r - 3) * (r - 3) + (k - 3) * (k - 3))));
    TestPicture screen(512, 384);
    fillRandom(screen.storage, 77);
    ParticleFlowLayer flow(8000, ramp.data(), ridges.data(), nullptr, nullptr, sprite.data());
    std::vector<std::uint64_t> hashes;
    double seconds = 20.0;
    for (int frame = 0; frame < 64; ++frame) {
        seconds += frame == 20 ? 20.0 : 1.0 / 60.0;
        musicLevel = frame * 9;
        if (frame == 30)
            flow.nextFlowMap();
        if (frame == 48)
            flow.fadeOut();
        renderLayer(flow, screen.bitmap, seconds);
        hashes.push_back(pixelHash(screen.storage.data(), screen.storage.size(), 0xFFFFFFFF));
        hashes.push_back(pixelHash(glow.data(), mapPixels, 0xFFFFFFFF));
        std::vector<std::uint32_t> positions;
        for (const FlowParticle& particle : flow.particles) {
            positions.push_back(static_cast<std::uint32_t>(particle.x));
            positions.push_back(static_cast<std::uint32_t>(particle.y));
        }
        hashes.push_back(pixelHash(positions.data(), positions.size(), 0xFFFFFFFF));
        hashes.push_back(flowRandomState);
        hashes.push_back(static_cast<std::uint64_t>(flow.activeCount));
    }
    return hashes;
}

TEST(BandedParticleFlowLayer, FramesMatchOneThreadAtEveryLevel) {
    expectSameFramesAtEveryLevelAndThreadCount(drawFlowRun);
}

} // namespace
