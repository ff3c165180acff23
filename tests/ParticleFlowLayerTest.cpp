#include "effects/ParticleFlowLayer.h"
#include "core/Random.h"
#include "core/ShowObjects.h"
#include "platform/ptc/Error.h"

#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <bit>

namespace {

// The swarm's generator written out again from its definition, to predict draws.
struct FlowDraws {
    std::uint32_t state;
    int next(int n) {
        state = std::rotl(state + 157u, 11) ^ 157u;
        return static_cast<int>((state & 0xFFFF) * static_cast<std::int64_t>(n) / 65535);
    }
};

// Points the process-wide objects the layer reads at the test's own and restores them.
struct FlowWorld {
    FlowWorld()
        : savedGlow(workBufferA), savedLevel(musicLevel), savedRandom(randomState),
          savedFlow(flowRandomState), glowBuffer(workBufferWords, 0xDEADBEEF), flat(screenPixelCount, 0),
          sprite(64, 255), screen(512, 384) {
        workBufferA = glowBuffer.data();
        musicLevel = 0;
    }
    ~FlowWorld() {
        workBufferA = savedGlow;
        musicLevel = savedLevel;
        randomState = savedRandom;
        flowRandomState = savedFlow;
    }
    // A flow-random state for which the 16 respawn draws of a frame all miss `particle`.
    std::uint32_t seedSparing(int particle, int count) {
        for (std::uint32_t seed = 1;; ++seed) {
            FlowDraws draws{seed};
            bool spared = true;
            for (int i = 0; i < 16; ++i)
                spared &= std::min(draws.next(count), count - 1) != particle;
            if (spared)
                return seed;
        }
    }
    std::uint32_t* savedGlow;
    std::int32_t savedLevel;
    std::uint32_t savedRandom, savedFlow;
    std::vector<std::uint32_t> glowBuffer;
    std::vector<std::uint8_t> flat, sprite;
    TestPicture screen;
};

} // namespace

TEST(ParticleFlowLayer, SpawnsOnThreeRowsInDrawOrderAndClearsTheGlow) {
    FlowWorld world;
    randomState = 4242;
    std::uint32_t before = randomState;
    ParticleFlowLayer layer(50, world.flat.data(), world.flat.data(), nullptr, nullptr, world.sprite.data());
    randomState = before;
    for (const FlowParticle& particle : layer.particles) {
        int row = nextRandom(3), column = nextRandom(130560) + 256; // y is drawn first
        EXPECT_EQ(particle.y, row == 0 ? 768 : row == 1 ? 49152 : 97280);
        EXPECT_EQ(particle.x, std::clamp(column, 768, 130048));
    }
    EXPECT_EQ(world.glowBuffer[0], 0u);
    EXPECT_EQ(world.glowBuffer[screenPixelCount - 1], 0u);
    EXPECT_EQ(world.glowBuffer[screenPixelCount], 0xDEADBEEFu); // only the screen-sized part
}

TEST(ParticleFlowLayer, RespawnDrawOfCountItselfTakesTheLastParticle) {
    FlowWorld world;
    ParticleFlowLayer layer(1, world.flat.data(), world.flat.data(), nullptr, nullptr, world.sprite.data());
    // A state whose successor has 0xFFFF in its low half: flowRandom(1) then returns 1.
    std::uint32_t successor = 0x1234FFFF;
    flowRandomState = std::rotr(successor ^ 157u, 11) - 157u;
    EXPECT_EQ(FlowDraws{flowRandomState}.next(1), 1);
    randomState = 777;
    layer.render(world.screen.bitmap, 0.0);
    std::uint32_t after = randomState;
    ASSERT_EQ(layer.particles.size(), 1u);
    // Sixteen spawns all land on particle 0; it holds the last one.
    randomState = 777;
    int row = 0, column = 0;
    for (int spawn = 0; spawn < 16; ++spawn)
        row = nextRandom(3), column = nextRandom(130560);
    EXPECT_EQ(layer.particles[0].y, std::clamp(row * 48896 + 256, 768, 97280));
    EXPECT_EQ(layer.particles[0].x, std::clamp(column + 256, 768, 130048));
    EXPECT_EQ(randomState, after); // sixteen spawns of two draws each, no more
}

TEST(ParticleFlowLayer, EmptySwarmDrawsNothingAndNegativeCountIsRefused) {
    FlowWorld world;
    ParticleFlowLayer layer(0, world.flat.data(), world.flat.data(), nullptr, nullptr, world.sprite.data());
    layer.render(world.screen.bitmap, 10.0);
    EXPECT_EQ(layer.activeCount, 0);
    EXPECT_THROW(
        ParticleFlowLayer(-1, world.flat.data(), world.flat.data(), nullptr, nullptr, world.sprite.data()),
        ptc::DynamicError);
}

TEST(ParticleFlowLayer, FlatMapJittersStampsAndCombines) {
    FlowWorld world;
    world.sprite[0] = 128; // top-left cell at half strength
    std::fill(world.screen.storage.begin(), world.screen.storage.end(), 0x00F0A050);
    ParticleFlowLayer layer(100, world.flat.data(), world.flat.data(), nullptr, nullptr, world.sprite.data());
    layer.particles[0] = {200 * 256, 100 * 256};
    flowRandomState = world.seedSparing(0, 100);
    FlowDraws draws{flowRandomState};
    for (int i = 0; i < 16; ++i)
        draws.next(100);
    int drawX = draws.next(3), drawY = draws.next(3);
    layer.render(world.screen.bitmap, 1.0 / 256.0); // exactly one particle drawn

    // Flat map, level 0: each axis moves by 4 * 128 = 512 (two pixels) or stays.
    auto moved = [](int draw) { return draw >= 2 ? 512 : draw == 0 ? -512 : 0; };
    int x = 200 * 256 + moved(drawX), y = 100 * 256 + moved(drawY);
    EXPECT_EQ(layer.particles[0].x, x);
    EXPECT_EQ(layer.particles[0].y, y);

    // Colour: (0xF0 >> 4) + 31 = 46, (0xA0 >> 4) + 15 = 25, (0x50 >> 4) + 7 = 12.
    // Centre cell, weight 255: 45, 24, 11 added to an empty glow, top byte 0xFF.
    int centre = (y >> 8) * 512 + (x >> 8), corner = centre - 3 * 512 - 3;
    EXPECT_EQ(world.screen[centre], 0xFFFFB85Bu);     // F0 + 2D saturates; A0 + 18; 50 + 0B
    EXPECT_EQ(world.glowBuffer[centre], 0xC0221209u); // each byte less a quarter: FF->C0, 2D->22, ...
    EXPECT_EQ(world.screen[corner], 0xFFFFAC56u);     // plus 23, 12, 6 at weight 128
    EXPECT_EQ(world.glowBuffer[corner], 0xC0120905u); // 0xFF170C06 decayed
    EXPECT_EQ(world.screen[corner - 1], 0x00F0A050u); // outside the sprite
    EXPECT_EQ(world.screen[centre + 4], 0x00F0A050u); // the eighth column is untouched
    EXPECT_EQ(world.glowBuffer[centre + 4], 0u);
}

TEST(ParticleFlowLayer, ClimbsTowardsBrighterRowsAndIsClampedAtRow3) {
    FlowWorld world;
    std::vector<std::uint8_t> map(screenPixelCount, 0);
    std::fill_n(map.begin() + 2 * 512, 512, 255); // row 2 much brighter than row 4
    ParticleFlowLayer layer(100, map.data(), map.data(), nullptr, nullptr, world.sprite.data());
    layer.particles[0] = {100 * 256, 3 * 256};
    flowRandomState = world.seedSparing(0, 100);
    layer.render(world.screen.bitmap, 1.0 / 256.0);
    // The slope (0 - 255) * 256 is clamped to -1024: up four pixels, no jitter (not flat, level 0),
    // then back to row 3 by the clamp.
    EXPECT_EQ(layer.particles[0].x, 100 * 256);
    EXPECT_EQ(layer.particles[0].y, 768);
}

TEST(ParticleFlowLayer, GlowDecaysAndSaturatesWithoutParticles) {
    FlowWorld world;
    ParticleFlowLayer layer(10, world.flat.data(), world.flat.data(), nullptr, nullptr, world.sprite.data());
    world.glowBuffer[5] = 0xFF030A00;
    world.screen[5] = 0x00FAFA00;
    layer.render(world.screen.bitmap, 0.0); // below 1/256 s: nobody is drawn
    EXPECT_EQ(layer.activeCount, 0);
    EXPECT_EQ(world.screen[5], 0xFFFDFF00u); // FA + 03, FA + 0A saturates
    EXPECT_EQ(world.glowBuffer[5], 0xC0030800u);
    layer.render(world.screen.bitmap, 0.0);
    EXPECT_EQ(world.glowBuffer[5], 0x90030600u); // 192 -> 144; 3 never decays
    layer.render(world.screen.bitmap, 0.0);
    EXPECT_EQ(world.glowBuffer[5] >> 24, 108u);
}

TEST(ParticleFlowLayer, CountFollowsTheClockThenFadesOut) {
    FlowWorld world;
    ParticleFlowLayer layer(8000, world.flat.data(), world.flat.data(), nullptr, nullptr,
                            world.sprite.data());
    layer.render(world.screen.bitmap, 2.5);
    EXPECT_EQ(layer.activeCount, 640);
    layer.render(world.screen.bitmap, 40.0);
    EXPECT_EQ(layer.activeCount, 8000);
    layer.fadeOut();
    int expected[] = {7000, 6125, 5360};
    for (int value : expected) {
        layer.render(world.screen.bitmap, 41.0);
        EXPECT_EQ(layer.activeCount, value);
    }
    layer.nextFlowMap();
    layer.nextFlowMap();
    EXPECT_EQ(layer.flowIndex, 1);
}

TEST(ParticleFlowLayer, VectorPathMatchesThePlainPath) {
    FlowWorld world;
    std::vector<std::uint8_t> map0 = randomBytes(screenPixelCount, 91),
                              map1 = randomBytes(screenPixelCount, 92);
    for (int i = 0; i < screenPixelCount; ++i) // flat terraces on the right half of the first map
        map0[i] = static_cast<std::uint8_t>((i % 512) < 256 ? map0[i] : (i / 512) & 0xF0);
    world.sprite = randomBytes(64, 93);
    std::vector<std::uint32_t> background(screenPixelCount);
    fillRandom(background, 94);
    expectVectorLevelsMatchPlain(
        [&] {
            randomState = 1000, flowRandomState = 2000;
            ParticleFlowLayer layer(3000, map0.data(), map1.data(), nullptr, nullptr, world.sprite.data());
            for (int frame = 0; frame < 6; ++frame) {
                world.screen.storage = background;
                musicLevel = frame * 60;
                if (frame == 3)
                    layer.nextFlowMap();
                layer.render(world.screen.bitmap, 5.0 + frame);
            }
            std::vector<std::uint32_t> result = world.screen.storage;
            result.insert(result.end(), world.glowBuffer.begin(),
                          world.glowBuffer.begin() + screenPixelCount);
            return result;
        },
        "six frames");
}
