// A child forked while the shared pool runs threads (the window's preparation of the seeks) gets
// none of them: it must start its own pool before it draws, or its first split waits forever.

#include "core/BandPool.h"

#include "BandedTestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <vector>

namespace {

// In the child: every index of a split visited once by a pool of `threads`.
bool splitsInChild(int threads) {
    restartBandThreadsInChild(threads);
    if (bandPool().threads() != threads)
        return false;
    for (int split = 0; split < 20; ++split) {
        std::vector<std::atomic<int>> visits(129);
        bandPool().forEachBand(129, [&](int begin, int end) {
            for (int i = begin; i < end; ++i)
                visits[i].fetch_add(1);
        });
        for (std::atomic<int>& visit : visits)
            if (visit.load() != 1)
                return false;
    }
    return true;
}

TEST(BandPoolFork, ChildStartsItsOwnPool) {
    BandThreadsGuard parentThreads(3);
    // Splits just before the fork: a worker may still hold the lock in the child's copy.
    for (int split = 0; split < 100; ++split)
        bandPool().forEachBand(8, [](int, int) {});
    for (int childThreads : {1, 2}) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::alarm(20); // a hang ends the child, and the test fails
            _exit(splitsInChild(childThreads) ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << childThreads << " threads, status " << status;
    }
    // The parent's pool is untouched.
    EXPECT_EQ(bandPool().threads(), 3);
    std::atomic<int> visited{0};
    bandPool().forEachBand(10, [&](int begin, int end) { visited += end - begin; });
    EXPECT_EQ(visited.load(), 10);
}

} // namespace
