#include "effects/StaticAhead.h"

#include "capture/PixelHash.h"
#include "core/ScreenSize.h"
#include "effects/NoiseLayer.h"

#include "BandedTestSupport.h"
#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

// The stream the generator gives from `state` on, written out from its definition.
std::vector<std::uint8_t> chainFrom(std::uint32_t& state, int count) {
    std::vector<std::uint8_t> values(count);
    for (std::uint8_t& value : values) {
        state = std::rotl(state ^ 157u, 11) + 157u;
        value = static_cast<std::uint8_t>(state);
    }
    return values;
}

// Waits (up to 10 s) until a whole screen from `state` is ready, and takes it.
StaticAhead::Ready acquireWhole(StaticAhead& ahead, std::uint32_t state) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        StaticAhead::Ready ready = ahead.acquire(state);
        if (ready.count == screenPixels || std::chrono::steady_clock::now() > deadline)
            return ready;
        ahead.release(state);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

void expectStream(const StaticAhead::Ready& ready, std::uint32_t from, const char* what) {
    std::uint32_t state = from;
    std::vector<std::uint8_t> expected = chainFrom(state, ready.count);
    ASSERT_EQ(std::vector<std::uint8_t>(ready.greys, ready.greys + ready.count), expected) << what;
    EXPECT_EQ(ready.stateAfter, state) << what;
}

// The screens come in the stream's order, each from the state the one before ended at; a frame
// that starts elsewhere finds only values from its own state.
TEST(StaticAhead, ScreensFollowTheChainAndStartAgainElsewhere) {
    BandPool pool(2);
    StaticAhead ahead(pool, 3);
    const std::uint32_t first = 13985765;
    ahead.expect(first);

    StaticAhead::Ready screen = acquireWhole(ahead, first);
    ASSERT_EQ(screen.count, screenPixels) << "no thread rendered the static ahead";
    expectStream(screen, first, "first screen");
    std::uint32_t second = screen.stateAfter;
    ahead.release(second);

    screen = acquireWhole(ahead, second);
    ASSERT_EQ(screen.count, screenPixels);
    expectStream(screen, second, "second screen");
    ahead.release(screen.stateAfter);

    // Restored to an earlier state: whatever is ready belongs to that state's stream.
    screen = ahead.acquire(first);
    expectStream(screen, first, "after going back");
    ahead.release(first);
    screen = acquireWhole(ahead, first);
    ASSERT_EQ(screen.count, screenPixels);
    expectStream(screen, first, "after going back, whole");
    ahead.release(first); // not taken: the same screen stays ready
    screen = ahead.acquire(first);
    EXPECT_EQ(screen.count, screenPixels);
    ahead.release(first);
}

TEST(StaticAhead, OneThreadRendersNothingAhead) {
    BandPool pool(1);
    StaticAhead ahead(pool, 3);
    ahead.expect(5);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    StaticAhead::Ready screen = ahead.acquire(5);
    EXPECT_EQ(screen.count, 0);
    EXPECT_EQ(screen.stateAfter, 5u);
    ahead.release(6);
}

// The noise layer's frames with its static rendered ahead, over a schedule that fades it in, shows
// it pure, waits between some frames (whole screens ready) and not between others (part of one),
// leaves it off for a while and moves the generator as a restored state would.
std::vector<std::uint64_t> drawNoiseRun() {
    TestPicture screen(512, 384);
    std::vector<std::uint32_t> backdrop(screenPixelCount);
    fillRandom(backdrop, 77);
    StaticAhead ahead(bandPool(), 2);
    NoiseLayer layer;
    layer.renderAheadWith(&ahead);
    std::vector<std::uint64_t> hashes;
    for (int frame = 0; frame < 48; ++frame) {
        if (frame == 4) {
            layer.setFadeDirection(1);
            layer.setFadeTime(0.5);
        }
        if (frame == 20)
            layer.setFadePosition(1.0);
        if (frame == 26)
            layer.setFadePosition(0.0);
        if (frame == 30) {
            layer.noiseState = 424242;
            layer.setFadePosition(0.6);
        }
        if (frame == 38)
            layer.noiseState = 13985765;
        screen.storage = backdrop;
        layer.render(screen.bitmap, frame / 30.0);
        hashes.push_back(pixelHash(screen.storage.data(), screen.storage.size(), 0xFFFFFFFF) ^ layer.noiseState);
        if (frame % 3 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    layer.renderAheadWith(nullptr);
    return hashes;
}

TEST(StaticAhead, NoiseFramesAreTheSameWithTheStaticRenderedAhead) {
    expectSameFramesAtEveryLevelAndThreadCount(drawNoiseRun);
}

} // namespace
