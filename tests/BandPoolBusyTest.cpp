// The pool on a busy machine: a band whose thread has not started it is run by the caller, and a
// thread that wakes after its split is over runs nothing of it.

#include "core/BandPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// With more threads than cores, most threads are still asleep when the caller has finished its
// own (empty) band: the caller takes theirs. Every index is still visited once, and a late thread
// must not run a band of a split that has ended (its items would be counted in the next split's
// vector, or in one that is gone).
TEST(BandPoolBusy, CallerTakesTheBandsOfThreadsNotRunning) {
    BandPool pool(8);
    const std::thread::id caller = std::this_thread::get_id();
    int takenByCaller = 0;
    for (int split = 0; split < 2000; ++split) {
        int count = 7 + split % 5; // band 0 of 8 is empty for 7 items
        std::vector<std::atomic<int>> visits(count);
        std::atomic<int> onCaller{0};
        pool.forEachBand(count, [&](int begin, int end) {
            if (begin > 0 && std::this_thread::get_id() == caller)
                onCaller.fetch_add(1);
            for (int i = begin; i < end; ++i)
                visits[i].fetch_add(1);
        });
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(visits[i].load(), 1) << "split " << split << ", index " << i;
        takenByCaller += onCaller.load();
    }
    EXPECT_GT(takenByCaller, 0);
}

} // namespace
