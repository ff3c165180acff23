// The sound of an offline run rendered ahead by the drawing threads between their splits: the
// chunks must be the ones the frames render for themselves, in order, whoever renders them and
// however far ahead they may go, and stopping early must neither hang nor render far past the
// last chunk taken.

#include "app/SoundAhead.h"
#include "core/BandPool.h"
#include "platform/ptc/Error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// A player with a position: each call appends the samples from where the last call ended up to
// `seconds` at 1000 per second, each sample its own index, and notes the time it was asked for.
struct CountingPlayer {
    long position = 0;
    std::vector<double> times;

    void operator()(double seconds, std::vector<std::int16_t>& samples) {
        times.push_back(seconds);
        long target = std::lround(seconds * 1000.0);
        for (; position < target; ++position)
            samples.push_back(static_cast<std::int16_t>(position));
    }
};

std::vector<std::vector<std::int16_t>> chunksFrameByFrame(int fps, long first, long last) {
    CountingPlayer player;
    std::vector<std::vector<std::int16_t>> chunks;
    for (long frame = first; frame <= last; ++frame) {
        std::vector<std::int16_t> chunk;
        player(double(frame) / fps, chunk);
        chunks.push_back(chunk);
    }
    return chunks;
}

// Between takes the pool draws a few splits, as frames do; the takes catch up with the threads'
// rendering at some frames and not at others.
TEST(SoundAhead, GivesTheChunksOfRenderingFrameByFrameAtEveryDepth) {
    const std::vector<std::vector<std::int16_t>> expected = chunksFrameByFrame(30, 7, 67);
    for (int threads : {1, 2, 3})
    for (int depth : {0, 1, 2, 3, 16}) {
        BandPool pool(threads);
        CountingPlayer player;
        std::vector<std::vector<std::int16_t>> taken;
        {
            SoundAhead sound(
                [&](double seconds, std::vector<std::int16_t>& samples) { player(seconds, samples); }, 30, 7,
                67, pool, depth);
            std::vector<std::int16_t> samples{-1, -1}; // dropped by the first take
            for (long frame = 7; frame <= 67; ++frame) {
                std::atomic<int> drawn{0};
                for (int split = 0; split < frame % 4; ++split)
                    pool.forEachBand(100, [&](int begin, int end) { drawn += end - begin; });
                ASSERT_EQ(drawn.load(), frame % 4 * 100);
                if (frame % 5 == 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(300));
                sound.take(frame, samples);
                taken.push_back(samples);
            }
        }
        EXPECT_EQ(taken, expected) << threads << " threads, depth " << depth;
        ASSERT_EQ(player.times.size(), 61u) << threads << " threads, depth " << depth;
        for (std::size_t i = 0; i < player.times.size(); ++i)
            EXPECT_EQ(player.times[i], double(7 + long(i)) / 30) << "call " << i;
    }
}

TEST(SoundAhead, TakesFramesOnlyInTurn) {
    BandPool pool(2);
    for (int depth : {0, 8}) {
        SoundAhead sound([](double, std::vector<std::int16_t>&) {}, 60, 0, 3, pool, depth);
        std::vector<std::int16_t> samples;
        EXPECT_THROW(sound.take(1, samples), ptc::DynamicError);
        sound.take(0, samples);
        EXPECT_THROW(sound.take(0, samples), ptc::DynamicError);
        for (long frame = 1; frame <= 3; ++frame)
            sound.take(frame, samples);
        EXPECT_THROW(sound.take(4, samples), ptc::DynamicError) << "past the last chunk";
    }
}

// Draws a split now and then for `time`, as frames do, so the pool's thread stays awake and takes
// up idle work between the splits; stops early once `done` holds.
template <class Done>
void drawSplitsFor(BandPool& pool, std::chrono::milliseconds time, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + time;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        pool.forEachBand(2, [](int, int) {});
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

// An interrupted run takes a few chunks and stops: the threads render no further than `depth`
// ahead, and none renders once the sound is gone. The thread may be slow to start on a busy
// machine, so the test waits for it to catch up rather than for a fixed time.
TEST(SoundAhead, StopsEarlyWithoutRenderingFarAhead) {
    BandPool pool(2);
    std::atomic<int> calls{0};
    {
        SoundAhead sound(
            [&](double, std::vector<std::int16_t>& samples) { samples.push_back(std::int16_t(++calls)); }, 60,
            0, 100000, pool, 3);
        std::vector<std::int16_t> samples;
        for (long frame = 0; frame < 2; ++frame) {
            sound.take(frame, samples);
            EXPECT_EQ(samples, std::vector<std::int16_t>{std::int16_t(frame + 1)}) << "chunks go in order";
        }
        drawSplitsFor(pool, std::chrono::seconds(10), [&] { return calls.load() >= 2 + 3; });
        drawSplitsFor(pool, std::chrono::milliseconds(20), [] { return false; });
        EXPECT_EQ(calls.load(), 2 + 3) << "`depth` chunks ahead of the last taken";
    }
    drawSplitsFor(pool, std::chrono::milliseconds(20), [] { return false; });
    EXPECT_EQ(calls.load(), 2 + 3);
}

// The chunks ahead are rendered on the pool's thread while the taker does other things: here it
// draws a split now and then, which keeps the thread from going to sleep.
TEST(SoundAhead, ThePoolsThreadRendersAheadWhileTheFrameIsDrawn) {
    BandPool pool(2);
    std::atomic<int> renderedElsewhere{0};
    const std::thread::id taker = std::this_thread::get_id();
    SoundAhead sound(
        [&](double, std::vector<std::int16_t>& samples) {
            samples.push_back(1);
            if (std::this_thread::get_id() != taker)
                ++renderedElsewhere;
        },
        60, 0, 20, pool, 4);
    drawSplitsFor(pool, std::chrono::seconds(10), [&] { return renderedElsewhere.load() >= 4; });
    EXPECT_EQ(renderedElsewhere.load(), 4) << "the first `depth` chunks, and no more";
    std::vector<std::int16_t> samples;
    for (long frame = 0; frame <= 20; ++frame) {
        sound.take(frame, samples);
        EXPECT_EQ(samples.size(), 1u);
    }
}

TEST(SoundAhead, AFailedRenderReachesTheFrameThatNeedsIt) {
    BandPool pool(2);
    SoundAhead sound(
        [](double seconds, std::vector<std::int16_t>& samples) {
            if (seconds >= 5.0 / 60)
                throw ptc::DynamicError("the player failed");
            samples.push_back(1);
        },
        60, 0, 9, pool);
    std::vector<std::int16_t> samples;
    for (long frame = 0; frame < 5; ++frame)
        sound.take(frame, samples);
    std::this_thread::sleep_for(std::chrono::milliseconds(2)); // the thread meets the failure first
    try {
        sound.take(5, samples);
        FAIL() << "no error";
    } catch (const ptc::DynamicError& error) {
        EXPECT_STREQ(error.what(), "the player failed");
    }
}

} // namespace
