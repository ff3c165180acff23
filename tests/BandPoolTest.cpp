#include "core/BandPool.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// Every index of [0, count) must be visited exactly once, whatever the thread and item counts,
// including more threads than items; and the pool must serve many splits in a row.
TEST(BandPool, VisitsEveryIndexOnceAtAnyThreadCount) {
    for (int threads : {1, 2, 3, 8}) {
        BandPool pool(threads);
        EXPECT_EQ(pool.threads(), threads);
        for (int count : {0, 1, 2, 3, 7, 97, 512}) {
            for (int split = 0; split < 50; ++split) {
                std::vector<std::atomic<int>> visits(count);
                pool.forEachBand(count, [&](int begin, int end) {
                    for (int i = begin; i < end; ++i)
                        visits[i].fetch_add(1);
                });
                for (int i = 0; i < count; ++i)
                    ASSERT_EQ(visits[i].load(), 1) << threads << " threads, " << count << " items, index " << i;
            }
        }
    }
}

// Chunks handed to whichever thread is free: each index once, no chunk longer than asked or past
// the end, also when the count is not a multiple of the chunk.
TEST(BandPool, ChunksVisitEveryIndexOnce) {
    for (int threads : {1, 2, 3, 8}) {
        BandPool pool(threads);
        for (int count : {0, 1, 7, 129, 512}) {
            for (int chunk : {1, 8, 16}) {
                std::vector<std::atomic<int>> visits(count);
                std::atomic<bool> chunkTooLong{false};
                pool.forEachChunk(count, chunk, [&](int begin, int end) {
                    if (end - begin > chunk && threads > 1)
                        chunkTooLong = true;
                    for (int i = begin; i < end; ++i)
                        visits[i].fetch_add(1);
                });
                EXPECT_FALSE(chunkTooLong) << threads << " threads, chunks of " << chunk;
                for (int i = 0; i < count; ++i)
                    ASSERT_EQ(visits[i].load(), 1) << threads << " threads, " << count << " items, chunks of "
                                                   << chunk << ", index " << i;
            }
        }
    }
}

TEST(BandPool, BandsAreContiguousAndInOrder) {
    EXPECT_EQ(BandPool::bandStart(97, 0, 3), 0);
    EXPECT_EQ(BandPool::bandStart(97, 1, 3), 32);
    EXPECT_EQ(BandPool::bandStart(97, 2, 3), 64);
    EXPECT_EQ(BandPool::bandStart(97, 3, 3), 97);
    EXPECT_EQ(BandPool::bandStart(2, 1, 8), 0);
}

TEST(BandPool, SharedPoolFollowsTheChosenThreadCount) {
    setBandThreads(3);
    EXPECT_EQ(bandPool().threads(), 3);
    setBandThreads(0);
    EXPECT_EQ(bandPool().threads(), 1);
    EXPECT_GE(availableCores(), 1);
}

// A request to stop sent to the process must reach the thread that handles it, never a drawing
// thread: the caller's own mask is as it was, every worker's blocks the requests.
TEST(BandPool, WorkersLeaveTheRequestsToStopToTheOtherThreads) {
    auto blocked = [] {
        sigset_t mask;
        pthread_sigmask(SIG_BLOCK, nullptr, &mask);
        return sigismember(&mask, SIGINT) + sigismember(&mask, SIGTERM) + sigismember(&mask, SIGHUP);
    };
    int callerBefore = blocked();
    BandPool pool(3);
    EXPECT_EQ(blocked(), callerBefore);
    std::vector<int> blockedInBand(3, -1);
    std::atomic<int> arrived{0};
    pool.forEachBand(3, [&](int begin, int) {
        blockedInBand[begin] = blocked();
        // Every band on its own thread: none returns before all have started.
        arrived.fetch_add(1);
        while (arrived.load() < 3)
            std::this_thread::yield();
    });
    EXPECT_EQ(blockedInBand[0], callerBefore);
    EXPECT_EQ(blockedInBand[1], 3);
    EXPECT_EQ(blockedInBand[2], 3);
}

// Pieces that take a while and say when one is running.
struct SlowPieces final : IdleWork {
    std::atomic<int> started{0};
    std::atomic<bool> running{false};

    bool runPiece() override {
        running = true;
        ++started;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        running = false;
        return true;
    }
};

// The threads take up idle work between splits; a split that comes meanwhile still runs every
// band once, and taking the work away waits for the piece in hand.
TEST(BandPool, IdleWorkRunsBetweenSplitsAndIsTakenAwayWhole) {
    BandPool pool(3);
    SlowPieces pieces;
    pool.addIdleWork(&pieces);
    for (int split = 0; split < 50; ++split) {
        std::vector<std::atomic<int>> visits(1000);
        pool.forEachBand(1000, [&](int begin, int end) {
            for (int i = begin; i < end; ++i)
                ++visits[i];
        });
        for (int i = 0; i < 1000; ++i)
            ASSERT_EQ(visits[i].load(), 1) << "index " << i << ", split " << split;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!pieces.running && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_TRUE(pieces.running) << "no thread took up the idle work";
    pool.removeIdleWork(&pieces);
    EXPECT_FALSE(pieces.running) << "the piece in hand was not waited for";
    int started = pieces.started;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(pieces.started.load(), started) << "a piece began after the work was taken away";
}

// Pieces that never run out and go before splits.
struct PressingPieces final : IdleWork {
    std::atomic<int> started{0};

    bool runPiece() override {
        ++started;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        return true;
    }
    bool pressing() const override { return true; }
};

// While pressing work lasts, the threads leave the bands of a split to its caller; bands that wait
// for one another still get a thread each.
TEST(BandPool, PressingWorkGoesBeforeSplitsButNotBeforeBandsThatWaitForEachOther) {
    BandPool pool(2);
    std::this_thread::sleep_for(std::chrono::milliseconds(2)); // the thread is asleep by now
    PressingPieces pieces;
    pool.addIdleWork(&pieces);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (pieces.started == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_GT(pieces.started.load(), 0) << "no thread took up the pressing work";

    const std::thread::id caller = std::this_thread::get_id();
    for (int split = 0; split < 20; ++split) {
        std::vector<std::atomic<int>> visits(100);
        std::atomic<bool> elsewhere{false};
        pool.forEachBand(100, [&](int begin, int end) {
            elsewhere = elsewhere || std::this_thread::get_id() != caller;
            for (int i = begin; i < end; ++i)
                ++visits[i];
        });
        EXPECT_FALSE(elsewhere) << "a thread with pressing work took a band, split " << split;
        for (int i = 0; i < 100; ++i)
            ASSERT_EQ(visits[i].load(), 1) << "index " << i << ", split " << split;
    }
    for (int split = 0; split < 20; ++split) {
        std::atomic<int> arrived{0};
        pool.forEachBandTogether(2, [&](int begin, int end) {
            arrived += end - begin;
            while (arrived < 2) // each band waits for the other
                std::this_thread::yield();
        });
        EXPECT_EQ(arrived.load(), 2);
    }
    pool.removeIdleWork(&pieces);
}

} // namespace

