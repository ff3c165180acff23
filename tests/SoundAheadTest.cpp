// The sound of an offline run rendered ahead on its own thread: the chunks must be the ones the
// frames render for themselves, in order, however far ahead the thread is allowed to go, and
// stopping early must neither hang nor render far past the last chunk taken.

#include "app/SoundAhead.h"
#include "platform/ptc/Error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <stdexcept>
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

TEST(SoundAhead, GivesTheChunksOfRenderingFrameByFrameAtEveryDepth) {
    const std::vector<std::vector<std::int16_t>> expected = chunksFrameByFrame(30, 7, 67);
    for (int depth : {0, 1, 2, 3, 16}) {
        CountingPlayer player;
        std::vector<std::vector<std::int16_t>> taken;
        {
            SoundAhead sound(
                [&](double seconds, std::vector<std::int16_t>& samples) { player(seconds, samples); }, 30, 7,
                67, depth);
            std::vector<std::int16_t> samples{-1, -1}; // dropped by the first take
            for (long frame = 7; frame <= 67; ++frame) {
                sound.take(frame, samples);
                taken.push_back(samples);
            }
        }
        EXPECT_EQ(taken, expected) << "depth " << depth;
        ASSERT_EQ(player.times.size(), 61u) << "depth " << depth;
        for (std::size_t i = 0; i < player.times.size(); ++i)
            EXPECT_EQ(player.times[i], double(7 + long(i)) / 30) << "call " << i;
    }
}

TEST(SoundAhead, TakesFramesOnlyInTurn) {
    for (int depth : {0, 8}) {
        SoundAhead sound([](double, std::vector<std::int16_t>&) {}, 60, 0, 3, depth);
        std::vector<std::int16_t> samples;
        EXPECT_THROW(sound.take(1, samples), ptc::DynamicError);
        sound.take(0, samples);
        EXPECT_THROW(sound.take(0, samples), ptc::DynamicError);
        for (long frame = 1; frame <= 3; ++frame)
            sound.take(frame, samples);
        EXPECT_THROW(sound.take(4, samples), ptc::DynamicError) << "past the last chunk";
    }
}

// An interrupted run takes a few chunks and stops; the thread, waiting for room, must end.
TEST(SoundAhead, StopsEarlyWithoutRenderingFarAhead) {
    std::atomic<int> calls{0};
    {
        SoundAhead sound(
            [&](double, std::vector<std::int16_t>& samples) { samples.push_back(std::int16_t(++calls)); }, 60,
            0, 100000, 3);
        std::vector<std::int16_t> samples;
        for (long frame = 0; frame < 2; ++frame) {
            sound.take(frame, samples);
            EXPECT_EQ(samples, std::vector<std::int16_t>{std::int16_t(frame + 1)});
        }
    }
    EXPECT_LE(calls.load(), 2 + 3) << "at most `depth` chunks ahead of the last taken";
}

TEST(SoundAhead, AFailedRenderReachesTheFrameThatNeedsIt) {
    SoundAhead sound(
        [](double seconds, std::vector<std::int16_t>& samples) {
            if (seconds >= 5.0 / 60)
                throw ptc::DynamicError("the player failed");
            samples.push_back(1);
        },
        60, 0, 9);
    std::vector<std::int16_t> samples;
    for (long frame = 0; frame < 5; ++frame)
        sound.take(frame, samples);
    try {
        sound.take(5, samples);
        FAIL() << "no error";
    } catch (const ptc::DynamicError& error) {
        EXPECT_STREQ(error.what(), "the player failed");
    }
}

} // namespace
