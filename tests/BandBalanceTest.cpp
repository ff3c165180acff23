// The balanced bands: whatever the shares, the bands cover the range in order, once; and the
// bounds move away from the band that took longer.

#include "core/BandBalance.h"

#include "BandedTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <array>
#include <utility>
#include <vector>

namespace {

// One call's bands, chained: each begin maps to its end, so that the walk from 0 must reach
// `count` through bands that follow one another without a gap or an overlap.
bool bandsChainFromZeroToCount(BandBalance& balance, int count) {
    std::vector<int> endAt(count + 1, -1);
    balance.forEachBand(bandPool(), count, [&](int begin, int end) { endAt[begin] = end; });
    int calls = 0, next = 0;
    while (next < count && endAt[next] > next) {
        next = endAt[next];
        ++calls;
    }
    return next == count && calls <= bandPool().bands();
}

} // namespace

TEST(BandBalance, BandsCoverTheRangeInOrderWhateverTheShares) {
    for (int threads : {2, 3, 8}) {
        BandThreadsGuard guard(threads);
        for (int count : {2, 7, 384, 6000}) {
            for (bool falling : {false, true}) {
                BandBalance balance;
                std::vector<double> shares;
                for (int band = 0; band < threads; ++band)
                    shares.push_back(falling ? 1.0 / (band + 1) : (band + 1.0) * (band + 1.0));
                balance.presetShares(shares);
                for (int call = 0; call < 3; ++call) {
                    EXPECT_TRUE(bandsChainFromZeroToCount(balance, count)) << threads << " threads, " << count;
                    double total = 0.0;
                    for (double share : balance.bandShares()) {
                        EXPECT_GT(share, 0.0);
                        total += share;
                    }
                    EXPECT_NEAR(total, 1.0, 1e-9);
                }
            }
        }
    }
}

TEST(BandBalance, SharesThatAreNotAllPositiveAreIgnored) {
    BandBalance balance;
    balance.presetShares({1.0, 3.0});
    for (const std::vector<double>& shares : std::vector<std::vector<double>>{
             {}, {0.0, 1.0}, {-1.0, 2.0}, {1.0, std::nan("")}, {1.0, HUGE_VAL}, {1e308, 1e308}})
        balance.presetShares(shares);
    EXPECT_EQ(balance.bandShares(), (std::vector<double>{0.25, 0.75}));
}

TEST(BandBalance, OneThreadRunsTheWholeRangeAtOnce) {
    BandThreadsGuard guard(1);
    BandBalance balance;
    std::vector<std::pair<int, int>> calls;
    balance.forEachBand(bandPool(), 100, [&](int begin, int end) { calls.emplace_back(begin, end); });
    EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{0, 100}}));
}

// The first eighth of the range sleeps, the rest does nothing: the first band's share shrinks at
// every call, down to its floor of about a quarter of an equal share (still the eighth that sleeps).
TEST(BandBalance, SharesMoveAwayFromTheSlowerBand) {
    BandThreadsGuard guard(2);
    BandBalance balance;
    std::vector<double> firstShares;
    for (int call = 0; call < 12; ++call) {
        balance.forEachBand(bandPool(), 64, [](int begin, int end) {
            for (int i = begin; i < end; ++i)
                if (i < 8)
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
        });
        firstShares.push_back(balance.bandShares()[0]);
    }
    EXPECT_LT(firstShares[0], 0.5);
    for (std::size_t call = 1; call < firstShares.size(); ++call)
        EXPECT_LE(firstShares[call], firstShares[call - 1] + 1e-12);
    EXPECT_GT(firstShares.back(), 0.1);
    EXPECT_LT(firstShares.back(), 0.13);
}

// Every band is called, an empty one too, and all at once: each waits here until all have come
// (a band run after another would never see them all, and fails after a second).
TEST(BandBalance, BandsThatWaitForOneAnotherAllRunTogether) {
    for (int threads : {2, 3, 8}) {
        BandThreadsGuard guard(threads);
        BandBalance balance;
        std::vector<double> shares(threads, 1.0);
        shares[1] = 1e-6; // band 1 gets no iteration
        balance.presetShares(shares);
        std::atomic<int> arrived{0};
        std::vector<std::pair<int, int>> ranges(threads, {-1, -1});
        std::vector<bool> metAll(threads, false);
        balance.forEachBandTogether(bandPool(), 100, [&](int band, int begin, int end) {
            ranges[band] = {begin, end};
            arrived.fetch_add(1);
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(1);
            while (arrived.load() < threads && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::yield();
            metAll[band] = arrived.load() == threads;
            return 0.0;
        });
        EXPECT_EQ(ranges[0].first, 0) << threads << " threads";
        EXPECT_EQ(ranges[1].first, ranges[1].second) << threads << " threads";
        EXPECT_EQ(ranges.back().second, 100) << threads << " threads";
        for (int band = 1; band < threads; ++band)
            EXPECT_EQ(ranges[band].first, ranges[band - 1].second) << threads << " threads, band " << band;
        EXPECT_EQ(metAll, std::vector<bool>(threads, true)) << threads << " threads";
    }
    BandThreadsGuard one(1);
    BandBalance balance;
    std::vector<std::array<int, 3>> calls;
    balance.forEachBandTogether(bandPool(), 100, [&](int band, int begin, int end) {
        calls.push_back({band, begin, end});
        return 0.0;
    });
    EXPECT_EQ(calls, (std::vector<std::array<int, 3>>{{0, 0, 100}}));
}

// The second band only waits for the first, which sleeps for each of its iterations: the wait is
// not the second band's work, so the first band's share shrinks, as when the second does nothing.
TEST(BandBalance, TimeABandWaitedForAnotherIsNotCountedAsItsWork) {
    BandThreadsGuard guard(2);
    BandBalance balance;
    std::vector<double> firstShares;
    for (int call = 0; call < 6; ++call) {
        std::atomic<bool> firstDone{false};
        balance.forEachBandTogether(bandPool(), 64, [&](int band, int begin, int end) {
            if (band == 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(100) * (end - begin));
                firstDone.store(true);
                return 0.0;
            }
            const auto start = std::chrono::steady_clock::now();
            while (!firstDone.load())
                std::this_thread::yield();
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        });
        firstShares.push_back(balance.bandShares()[0]);
    }
    EXPECT_LT(firstShares[0], 0.5);
    for (std::size_t call = 1; call < firstShares.size(); ++call)
        EXPECT_LE(firstShares[call], firstShares[call - 1] + 1e-12);
    EXPECT_LT(firstShares.back(), 0.3);
}
