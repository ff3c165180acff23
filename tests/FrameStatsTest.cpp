// The scenes of --stats: split at the cues that insert layers, named by those cues, each with the
// stack its first frame drew. Frame times are handed in, so nothing here depends on the clock.
#include "ShowObjectsGuard.h"
#include "TestLayerList.h"
#include "driver/FrameStats.h"
#include "effects/FadeToBlackLayer.h"
#include "effects/FadeToWhiteLayer.h"
#include "show/ShowLayers.h"
#include "timeline/LayerList.h"
#include "timeline/MusicCue.h"

#include <gtest/gtest.h>

namespace {

// Runs a cue's action on `list` the way the dispatcher reports it to the statistics.
void runCue(FrameStats& stats, LayerList& list, const MusicCue& cue) {
    std::vector<StackSlot> before = stackSlots(list);
    cue.action();
    stats.cueRan(cue, before, stackSlots(list));
}

void drawFrames(FrameStats& stats, LayerList& list, int count, double milliseconds, double& seconds) {
    for (int i = 0; i < count; ++i) {
        stats.drawStack(list);
        stats.addFrame(milliseconds, milliseconds / 2, seconds);
        seconds += 0.5;
    }
}

} // namespace

TEST(FrameStatsScenes, InsertingMeansASlotTheStackLacked) {
    FadeToBlackLayer a, b;
    TestLayerList list;
    list.insert(&a, 5);
    auto before = stackSlots(list);
    list.insert(&b, 5); // takes the slot; a moves one place back, unchanged
    EXPECT_TRUE(insertsLayers(before, stackSlots(list)));

    before = stackSlots(list);
    list.remove(&a);
    EXPECT_FALSE(insertsLayers(before, stackSlots(list))) << "only emptied";
    EXPECT_FALSE(insertsLayers(stackSlots(list), stackSlots(list)));

    before = stackSlots(list);
    list.remove(&b);
    list.insert(&b, 7);
    EXPECT_TRUE(insertsLayers(before, stackSlots(list))) << "moved to another depth";

    before = stackSlots(list);
    list.insert(&b, 7);
    EXPECT_TRUE(insertsLayers(before, stackSlots(list)))
        << "a second slot of the same layer at the same depth";
}

TEST(FrameStatsScenes, CuesThatInsertLayersStartScenes) {
    FadeToBlackLayer black;
    FadeToWhiteLayer white;
    showtest::ShowObjectsGuard guard;
    guard.replace(fadeToBlack, &black);
    guard.replace(fadeToWhite, &white);

    FrameStats stats(60);
    TestLayerList list;
    double seconds = 0.0;
    drawFrames(stats, list, 2, 1.0, seconds); // before any cue
    runCue(stats, list, MusicCue::position(1, 0, 0, [&] { list.insert(&black, 98); }));
    drawFrames(stats, list, 3, 2.0, seconds);
    // Removing only: the scene goes on.
    runCue(stats, list, MusicCue::position(2, 0, 40, [&] { list.remove(&black); }));
    drawFrames(stats, list, 1, 2.0, seconds);
    // Two inserting cues before one frame make one scene; its stack is the one drawn after both.
    runCue(stats, list, MusicCue::position(29, 31, 0, [&] { list.insert(&white, 99); }));
    runCue(stats, list, MusicCue::position(30, 31, 0, [&] { list.insert(&black, 1); }));
    drawFrames(stats, list, 4, 8.0, seconds);
    runCue(stats, list, MusicCue::onInstrument(50, 33, [&] { list.insert(&white, 3); }));
    stats.drawStack(list);
    stats.addFrame(40.0, 1.0, seconds);

    const auto& scenes = stats.scenes();
    ASSERT_EQ(scenes.size(), 4u);
    EXPECT_EQ(scenes[0].cues, "start");
    EXPECT_EQ(scenes[0].frames, 2);
    EXPECT_TRUE(scenes[0].stack.empty());

    EXPECT_EQ(scenes[1].cues, "1");
    EXPECT_EQ(scenes[1].position, "0:0");
    EXPECT_EQ(scenes[1].firstFrame, 2);
    EXPECT_EQ(scenes[1].startSeconds, 1.0);
    EXPECT_EQ(scenes[1].frames, 4);
    EXPECT_EQ(scenes[1].wallMilliseconds, 8.0);
    EXPECT_EQ(scenes[1].stack, (std::vector<StackSlot>{{&black, 98}}));

    EXPECT_EQ(scenes[2].cues, "29+30");
    EXPECT_EQ(scenes[2].position, "31:0");
    EXPECT_EQ(scenes[2].firstFrame, 6);
    EXPECT_EQ(scenes[2].frames, 4);
    EXPECT_EQ(scenes[2].stack, (std::vector<StackSlot>{{&black, 1}, {&white, 99}}));

    EXPECT_EQ(scenes[3].cues, "50");
    EXPECT_EQ(scenes[3].position, "inst 33");
    EXPECT_EQ(scenes[3].worstMilliseconds, 40.0);

    // 11 frames in 2 + 8 + 32 + 40 = 82 ms; scene 29+30: 4 frames in 32 ms = 125 per second.
    std::string report = stats.report();
    EXPECT_EQ(report.rfind("frames 11 in 0.08 s: 134.1 frames per second, 2.2x real time at 60\n", 0), 0u)
        << report;
    EXPECT_NE(report.find("worst 40.000 ms: frame 10 at 5.000 s\nmost CPU: 4.000 ms, frame 6 at 3.000 s\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("29+30      31:0         3.00       4    125.0     2.1   4.000    8.000  "
                          "fadeToBlack fadeToWhite\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("\n50         inst 33"), std::string::npos) << report;
}

TEST(FrameStatsScenes, AnInsertingCueBeforeTheFirstFrameReplacesTheStart) {
    FrameStats stats;
    TestLayerList list;
    FadeToBlackLayer black;
    runCue(stats, list, MusicCue::position(1, 0, 0, [&] { list.insert(&black, 98); }));
    double seconds = 0.0;
    drawFrames(stats, list, 1, 1.0, seconds);
    ASSERT_EQ(stats.scenes().size(), 1u);
    EXPECT_EQ(stats.scenes()[0].cues, "1");
    EXPECT_EQ(stats.scenes()[0].frames, 1);
}

namespace {

// Records its draw, and can empty a slot of the list while drawing.
class ProbeLayer : public Layer {
public:
    ProbeLayer(std::string& log, char name, LayerList& list) : log(log), name(name), list(list) {}
    void render(Bitmap&, double) override {
        log += name;
        if (removes != nullptr)
            list.remove(removes);
    }
    void archiveState(StateArchive&) override {}
    Layer* removes = nullptr;

private:
    std::string& log;
    char name;
    LayerList& list;
};

} // namespace

TEST(FrameStats, TimedRenderDrawsLikeRenderAll) {
    std::string drawn;
    TestLayerList list;
    ProbeLayer a(drawn, 'a', list), b(drawn, 'b', list), c(drawn, 'c', list);
    list.insert(&a, 1);
    list.insert(&b, 2);
    list.insert(&c, 3);
    a.removes = &c; // a later slot emptied while drawing: skipped in the same pass
    b.removes = &b; // its own slot
    FrameStats stats;
    Bitmap target;
    stats.beginFrame();
    renderAllTimed(list, target, 0.0, stats);
    stats.endFrame(0.0);
    EXPECT_EQ(drawn, "ab");
    EXPECT_EQ(stats.frameCount(), 1);
    std::string report = stats.report();
    EXPECT_NE(report.find("frames 1 "), std::string::npos) << report;
    EXPECT_NE(report.find("ProbeLayer"), std::string::npos) << report;
}
