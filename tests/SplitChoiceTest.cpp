// The choice between drawing a layer split over the band pool and alone: the pool's alone mode, the
// choice's probes and switches, and the renders it steers.

#include "core/BandPool.h"
#include "core/Layer.h"
#include "core/SplitChoice.h"

#include "BandedTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// While alone, a split is one band on the calling thread; the pool splits again afterwards, and
// nested scopes put back what they found.
TEST(BandPoolAlone, SplitsRunWholeOnTheCallerWhileInForce) {
    BandPool pool(3);
    auto bandsOf = [&](int count) {
        std::vector<std::pair<int, int>> bands;
        std::vector<std::thread::id> threads;
        std::mutex lock;
        pool.forEachBand(count, [&](int begin, int end) {
            std::lock_guard guard(lock);
            bands.emplace_back(begin, end);
            threads.push_back(std::this_thread::get_id());
        });
        return std::pair(bands, threads);
    };
    {
        BandPool::Alone alone(pool);
        EXPECT_EQ(pool.bands(), 1);
        EXPECT_EQ(pool.threads(), 3);
        {
            BandPool::Alone again(pool);
        }
        EXPECT_EQ(pool.bands(), 1);
        auto [bands, threads] = bandsOf(90);
        EXPECT_EQ(bands, (std::vector<std::pair<int, int>>{{0, 90}}));
        EXPECT_EQ(threads, std::vector<std::thread::id>{std::this_thread::get_id()});
        int chunks = 0;
        pool.forEachChunk(90, 8, [&](int begin, int end) {
            EXPECT_EQ(begin, 0);
            EXPECT_EQ(end, 90);
            ++chunks;
        });
        EXPECT_EQ(chunks, 1);
    }
    EXPECT_EQ(pool.bands(), 3);
    EXPECT_EQ(bandsOf(90).first.size(), 3u);
}

// The ways a choice takes over `renders`, each render costing what `cost(render, splitting)` says:
// 's' for split, 'a' for alone.
template <class Cost> std::string waysTaken(SplitChoice& choice, int renders, Cost cost) {
    std::string ways;
    for (int render = 0; render < renders; ++render) {
        bool split = choice.nextSplits();
        ways += split ? 's' : 'a';
        choice.record(cost(render, split));
    }
    return ways;
}

// Positions of the renders that went `way` in `ways`.
std::vector<int> positionsOf(const std::string& ways, char way) {
    std::vector<int> positions;
    for (int i = 0; i < static_cast<int>(ways.size()); ++i)
        if (ways[i] == way)
            positions.push_back(i);
    return positions;
}

TEST(SplitChoice, StaysSplitWhileSplittingIsCheaperAndProbesEverLessOften) {
    SplitChoice choice(16, 128);
    std::string ways = waysTaken(choice, 600, [](int, bool split) { return split ? 1.0 : 2.0; });
    // Probes after 16 renders, then 32, 64, 128, 128 ... later.
    EXPECT_EQ(positionsOf(ways, 'a'), (std::vector<int>{15, 47, 111, 239, 367, 495}));
}

TEST(SplitChoice, GoesAloneWhenThatIsCheaperAndBackWhenSplittingPaysAgain) {
    SplitChoice choice(16, 128);
    // Split costs 3 until render 400, then 1; alone always 2. Each way must prove a quarter cheaper.
    auto cost = [](int render, bool split) { return split ? (render < 400 ? 3.0 : 1.0) : 2.0; };
    std::string ways = waysTaken(choice, 900, cost);
    // The first probe finds alone cheaper: from then on alone, with split probed ever less often.
    EXPECT_EQ(ways.substr(0, 16), std::string(15, 's') + "a");
    EXPECT_EQ(positionsOf(ways.substr(16, 384), 's'), (std::vector<int>{15, 47, 111, 239, 367}));
    // After render 400 splitting is cheaper: the third probe of it at the latest takes it back.
    std::size_t backToSplit = ways.find(std::string(15, 's'), 400);
    ASSERT_NE(backToSplit, std::string::npos);
    EXPECT_LE(backToSplit, 400u + 3 * 128u);
    EXPECT_GE(ways.find('a', backToSplit), backToSplit + 15);
}

// The first render of a layer prepares what later ones reuse: its cost does not count.
TEST(SplitChoice, TheFirstRendersCostDoesNotCount) {
    SplitChoice choice(16, 128);
    std::string ways =
        waysTaken(choice, 40, [](int render, bool split) { return render == 0 ? 1000.0 : split ? 1.0 : 2.0; });
    EXPECT_EQ(positionsOf(ways, 'a'), std::vector<int>{15});
}

// Records how many bands each of its renders saw; a render alone takes a millisecond longer.
class BandCountingLayer : public Layer {
  public:
    void render(Bitmap&, double) override {
        bandsSeen.push_back(bandPool().bands());
        if (bandPool().bands() == 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void archiveState(StateArchive&) override {}
    std::vector<int> bandsSeen;
};

TEST(SplitChoice, RendersRunAloneOnlyWhenTheChoiceSaysSo) {
    Bitmap target;
    {
        BandThreadsGuard threads(1);
        BandCountingLayer layer;
        SplitChoice choice(16, 128);
        for (int frame = 0; frame < 20; ++frame)
            renderChoosingSplit(layer, choice, target, frame / 60.0);
        EXPECT_EQ(layer.bandsSeen, std::vector<int>(20, 1));
    }
    BandThreadsGuard threads(2);
    BandCountingLayer layer;
    SplitChoice choice(16, 128);
    for (int frame = 0; frame < 20; ++frame)
        renderChoosingSplit(layer, choice, target, frame / 60.0);
    // The 16th render is the first probe of the other way, alone, which proves dearer.
    std::vector<int> expected(20, 2);
    expected[15] = 1;
    EXPECT_EQ(layer.bandsSeen, expected);
    EXPECT_EQ(bandPool().bands(), 2);
}

} // namespace
