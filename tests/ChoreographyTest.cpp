// The whole show run offline on the generated data and music: the layer stacks the trace prints
// at the cues, the feedback pictures of the finale seen in the frames, and a long render that
// must come out the same twice.
#include "MusicClock.h"
#include "ShowTestSupport.h"
#include "datagen/Composition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

using namespace showtest;

namespace {

// "--seconds 423.500" and the like, with enough digits to land on the intended frame.
std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

// One line of the trace: "cue 6 @ 1:56", "cue 50 @ inst 33" or "warp", and the stack after it.
struct TraceLine {
    std::string event;
    std::string stack;
    bool isPositionCue() const { return event.rfind("cue ", 0) == 0 && event.find("inst") == std::string::npos; }
    int cueNumber() const { return std::atoi(event.c_str() + 4); }
};

std::vector<TraceLine> parseTrace(const std::string& out) {
    std::vector<TraceLine> lines;
    std::istringstream in(out);
    for (std::string text; std::getline(in, text);) {
        std::size_t bar = text.find(" | ");
        if (bar == std::string::npos)
            lines.push_back({text, ""});
        else
            lines.push_back({text.substr(0, bar), text.substr(bar + 3)});
    }
    return lines;
}

// The index of the `nth` line (0 = first) whose event is `event`, or lines.size().
std::size_t findLine(const std::vector<TraceLine>& lines, std::string_view event, int nth = 0) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].event == event && nth-- == 0)
            return i;
    return lines.size();
}

// Every file of a directory by name, with a digest of its contents; the files are removed, so a
// long render's sound does not lie on disk twice.
std::map<std::string, std::size_t> digestAndRemove(const fs::path& directory) {
    std::map<std::string, std::size_t> digests;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory))
        digests[entry.path().filename().string()] = std::hash<std::string>{}(readFile(entry.path()));
    fs::remove_all(directory);
    return digests;
}

// What velmora printed for `arguments` on the generated data, run once per build of the program
// and of the tests (which generate the data): ctest runs each test of a suite as a process of its
// own, and the first of them to get here runs the show for all of them. Failed runs are not kept.
RunResult sharedRun(const std::string& name, const std::string& arguments) {
    const fs::path program = fs::path(VELMORA_BINARY_DIR) / "velmora";
    const fs::path directory = fs::path(VELMORA_BINARY_DIR) / "test-runs";
    fs::create_directories(directory);
    auto stamp = [](const fs::path& file) {
        return std::to_string(fs::last_write_time(file).time_since_epoch().count()) + " " +
               std::to_string(fs::file_size(file)) + " ";
    };
    const std::string key = stamp(program) + stamp("/proc/self/exe") + arguments + "\n";
    const fs::path saved = directory / (name + ".out");
    int lock = ::open((directory / (name + ".lock")).c_str(), O_CREAT | O_RDWR, 0644);
    if (lock >= 0)
        ::flock(lock, LOCK_EX);
    RunResult run;
    std::string contents = readFile(saved);
    if (contents.rfind(key, 0) == 0) {
        run.status = 0;
        run.out = contents.substr(key.size());
    } else {
        TemporaryDirectory root(name);
        linkGeneratedData(root.path);
        run = runVelmora(arguments, root.path);
        if (run.status == 0 && run.err.empty())
            std::ofstream(saved, std::ios::binary) << key << run.out;
    }
    if (lock >= 0)
        ::close(lock);
    return run;
}

// The trace of one run from the start of the show through the whole chain of masked fades of the
// finale (its ninth step, at order 49 of the fourth loop). Ten frames a second are enough: the
// stacks change only at cues and at the warp's first frame.
class Choreography : public testing::Test {
protected:
    // Run here rather than once per suite, so that a failed run fails the tests (a failure while
    // setting up a suite would only mark them skipped).
    void SetUp() override {
        ASSERT_FALSE(showClock().timingChanged) << "the module changes its timing: the run lengths need another reckoning";
        if (trace == nullptr) {
            double length = showClock().orderStart(datagen::kRestartOrder, 4) + 1.0;
            RunResult run = sharedRun("choreography", "--headless --trace --fps 10 --seconds " + secondsText(length));
            ASSERT_EQ(run.status, 0) << run.err;
            ASSERT_EQ(run.err, "");
            trace = new std::vector<TraceLine>(parseTrace(run.out));
        }
    }

    // The stack after the `nth` action of `event`; fails the test if there is none.
    static std::string stackAfter(std::string_view event, int nth = 0) {
        std::size_t at = findLine(*trace, event, nth);
        if (at == trace->size()) {
            ADD_FAILURE() << "no line for " << event << " (" << nth << ")";
            return "";
        }
        return (*trace)[at].stack;
    }

    // Kept for the other tests of this process, as a whole test binary runs them all.
    static inline std::vector<TraceLine>* trace = nullptr;
};

} // namespace

TEST_F(Choreography, PositionCuesRunOncePerPassInTheirOrderAndTheFinaleOnEveryLoop) {
    std::vector<int> numbers;
    for (const TraceLine& line : *trace)
        if (line.isPositionCue())
            numbers.push_back(line.cueNumber());
    std::vector<int> expected;
    for (int number = 1; number <= 49; ++number)
        expected.push_back(number);
    for (int loop = 1; loop <= 4; ++loop)
        expected.insert(expected.end(), {48, 49});
    expected.pop_back(); // the run ends after order 49 of the fourth loop
    EXPECT_EQ(numbers, expected);
}

TEST_F(Choreography, OpeningStacks) {
    EXPECT_EQ((*trace)[0].event, "cue 1 @ 0:0");
    EXPECT_EQ((*trace)[0].stack, "crossFade14to15:1 particleFlow:9 fadeToBlack:98 noise:666");
    // The swirl takes the first slot at depth 1 and pushes the old cross-fade's slot behind it,
    // where it is emptied: the swirl is listed, and drawn, first.
    EXPECT_EQ(stackAfter("cue 6 @ 1:56"),
              "swirl28a:1 maskFade17to29:2 crossFade15toScreen:5 particleFlow:9 fadeToBlack:98 noise:666");
}

TEST_F(Choreography, WarpDropsTheTerrainAndItsPictureOnItsFirstFrame) {
    const std::vector<TraceLine>& lines = *trace;
    std::size_t inserted = findLine(lines, "cue 18 @ 18:0");
    std::size_t firstFrame = findLine(lines, "warp");
    std::size_t crossFade = findLine(lines, "cue 19 @ 21:48");
    ASSERT_LT(crossFade, lines.size());
    EXPECT_EQ(lines[inserted].stack,
              "terrain:1 maskedPicture42:50 warp:54 fadeToBlack:98 fadeToWhite:99 noise:666");
    ASSERT_LT(inserted, firstFrame);
    ASSERT_LT(firstFrame, crossFade);
    EXPECT_EQ(findLine(lines, "warp", 1), lines.size()) << "the warp edits the list only once";
    const std::string warpAlone = "warp:54 fadeToBlack:98 fadeToWhite:99 noise:666";
    for (std::size_t i = firstFrame; i < crossFade; ++i)
        EXPECT_EQ(lines[i].stack, warpAlone) << lines[i].event;
    EXPECT_EQ(lines[crossFade].stack, "warp:54 crossFadeScreenTo45:60 fadeToBlack:98 fadeToWhite:99 noise:666");
}

TEST_F(Choreography, LensSceneFromOrder25) {
    const std::vector<TraceLine>& lines = *trace;
    std::size_t begin = findLine(lines, "cue 22 @ 25:0");
    std::size_t end = findLine(lines, "cue 26 @ 28:48");
    ASSERT_LT(begin, end);
    ASSERT_LT(end, lines.size());
    for (std::size_t i = begin; i < end; ++i)
        EXPECT_EQ(lines[i].stack, "picture16:1 lens:2 fadeToBlack:98 fadeToWhite:99 noise:666") << lines[i].event;
}

TEST_F(Choreography, BothCuesAtOnePositionAct) {
    const std::vector<TraceLine>& lines = *trace;
    std::size_t fade = findLine(lines, "cue 29 @ 31:0");
    ASSERT_LT(fade + 1, lines.size());
    EXPECT_EQ(lines[fade + 1].event, "cue 30 @ 31:0") << "the palette shift follows the masked fade";
    const std::string stack =
        "crossFadeScreenTo46a:6 ifsFractal:7 maskFadeScreenTo47:11 fadeToBlack:98 fadeToWhite:99 noise:666";
    EXPECT_EQ(lines[fade].stack, stack);
    EXPECT_EQ(lines[fade + 1].stack, stack);
}

TEST_F(Choreography, FinaleStepsThroughTheFeedbackPicturesAndTheChainOfFades) {
    const std::string fixed = " fadeToBlack:98 fadeToWhite:99 noise:666";
    // Steps 1 and 2 are the two finale cues of the first pass, step 3 opens the first loop.
    EXPECT_EQ(stackAfter("cue 46 @ 43:0"), "crossFadeScreenTo46b:60 particleRing:63" + fixed);
    EXPECT_EQ(stackAfter("cue 48 @ 49:0", 0), "swirl28b:1 maskFadeScreenTo65:2" + fixed);
    EXPECT_EQ(stackAfter("cue 49 @ 51:0", 0), "swirl28b:1 maskFadeScreenTo65:2" + fixed);
    EXPECT_EQ(stackAfter("cue 48 @ 49:0", 1), "feedbackMap:1 maskFade65to55:4" + fixed);
    EXPECT_EQ(stackAfter("cue 49 @ 51:0", 1), "feedbackMap:1 maskFade55to56:4" + fixed);
    EXPECT_EQ(stackAfter("cue 48 @ 49:0", 2), "feedbackMap:1 maskFade56to57:4" + fixed);
    EXPECT_EQ(stackAfter("cue 49 @ 51:0", 2), "feedbackMap:1 maskFade57to58:4" + fixed);
    EXPECT_EQ(stackAfter("cue 48 @ 49:0", 3), "feedbackMap:1 maskFade58to59:4" + fixed);
    EXPECT_EQ(stackAfter("cue 49 @ 51:0", 3), "feedbackMap:1 maskFade59toScreen:4" + fixed);
    EXPECT_EQ(stackAfter("cue 48 @ 49:0", 4), "feedbackMap:1" + fixed) << "the chain has played out";
}

// Which feedback picture the finale mixes in shows in the frames: runs whose data differ in one
// of the first two pictures are compared in the middle of order 50 of the first loop (after the
// third finale step) and in the middle of order 52 (after the fourth).
TEST(ChoreographyFrames, FeedbackPicturesAdvanceFromTheFourthFinaleStep) {
    const MusicClock& clock = showClock();
    ASSERT_FALSE(clock.timingChanged);
    const int restart = datagen::kRestartOrder;
    double afterThird = clock.orderStart(restart + 1, 1) + 32 * clock.rowSeconds;
    double afterFourth = clock.orderStart(restart + 3, 1) + 32 * clock.rowSeconds;
    const std::string arguments =
        "--png-dir frames --fps 10 --snapshot " + secondsText(afterThird) + "," + secondsText(afterFourth);
    auto frames = [&](const std::string& name, const std::map<std::string, std::string>& substitutes) {
        TemporaryDirectory root("feedback-" + name);
        linkGeneratedData(root.path, substitutes);
        RunResult run = runVelmora(arguments, root.path);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        std::vector<std::string> pictures;
        for (const fs::directory_entry& entry : fs::directory_iterator(root.path / "frames"))
            if (entry.path().extension() == ".png")
                pictures.push_back(entry.path().filename().string());
        std::sort(pictures.begin(), pictures.end());
        std::vector<std::string> contents;
        for (const std::string& picture : pictures)
            contents.push_back(readFile(root.path / "frames" / picture));
        return contents;
    };
    std::vector<std::string> shown = frames("shown", {});
    std::vector<std::string> otherFirst = frames("first", {{"x3.jpg", "x5.jpg"}});
    std::vector<std::string> otherSecond = frames("second", {{"x4.jpg", "x5.jpg"}});
    ASSERT_EQ(shown.size(), 2u);
    ASSERT_EQ(otherFirst.size(), 2u);
    ASSERT_EQ(otherSecond.size(), 2u);
    EXPECT_TRUE(shown[0] != otherFirst[0]) << "the first picture is mixed in after the third step";
    EXPECT_TRUE(shown[0] == otherSecond[0]) << "the third step must not move on to the second picture";
    EXPECT_TRUE(shown[1] != otherSecond[1]) << "the fourth step moves on to the second picture";
}

// The whole first pass of the show and two loops of the finale, rendered twice: the frames at
// checkpoints in every scene and the sound must come out byte for byte the same. At 60 frames a
// second this is the longest test (tens of seconds); sanitizer builds draw 10 frames a second.
TEST(LongShowRun, FirstPassAndTwoFinaleLoopsRenderTheSameTwice) {
    const MusicClock& clock = showClock();
    ASSERT_FALSE(clock.timingChanged);
    const double length = clock.passSeconds + 2 * clock.loopSeconds;
    const int fps = sanitizedBuild ? 10 : 60;
    // Half a second after the starts of orders 0, 2, 4, ... and of the finale's loops.
    std::string snapshots;
    for (int order = 0; order < datagen::kOrderCount; order += 2)
        snapshots += secondsText(clock.orderStart(order) + 0.5) + ",";
    for (int loop = 1; loop <= 2; ++loop)
        for (int order = datagen::kRestartOrder; order < datagen::kOrderCount; ++order)
            snapshots += secondsText(clock.orderStart(order, loop) + 0.5) + ",";
    snapshots.pop_back();

    TemporaryDirectory root("long-run");
    linkGeneratedData(root.path);
    std::map<std::string, std::size_t> digests[2];
    for (auto& digest : digests) {
        RunResult run = runVelmora("--png-dir frames --fps " + std::to_string(fps) + " --seconds " +
                                       secondsText(length) + " --snapshot " + snapshots,
                                   root.path);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        // The sound covers the whole render: 16-bit stereo after a 44-byte header.
        double soundSeconds = (fs::file_size(root.path / "frames" / "audio.wav") - 44) / (4.0 * 44100);
        EXPECT_NEAR(soundSeconds, length, 1.0 / fps + 0.001);
        digest = digestAndRemove(root.path / "frames");
    }
    std::size_t frames = datagen::kOrderCount / 2 + 2 * (datagen::kOrderCount - datagen::kRestartOrder);
    EXPECT_EQ(digests[0].size(), frames + 1) << "the checkpoints and the sound";
    for (const auto& [name, digest] : digests[0])
        EXPECT_EQ(digests[1][name], digest) << name << " differs between two runs";
}
