#include "core/BandPool.h"

#include <gtest/gtest.h>

#include <atomic>
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

} // namespace
