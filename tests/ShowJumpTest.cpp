// Frame k reached in any way is the frame k of a run from the start: after a jump (--at,
// --start), and after a checkpoint restored into the show that made it or into one built afresh.
#include "MusicClock.h"
#include "ShowTestSupport.h"
#include "app/CommandLine.h"
#include "app/DataLocation.h"
#include "app/ShowMusicRecording.h"
#include "capture/PixelHash.h"
#include "driver/ShowDriver.h"
#include "platform/bass/Bass.h"
#include "platform/ptc/Console.h"
#include "platform/ptc/HeadlessBackend.h"

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <cmath>
#include <map>
#include <sstream>

using namespace showtest;

namespace {

#if defined(__SANITIZE_ADDRESS__)
using LeakCheckPause = __lsan::ScopedDisabler;
#else
struct LeakCheckPause {};
#endif

// The trace's lines: the cues that ran and the stacks the warp left, in order.
std::vector<std::string> traceLines(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("cue ", 0) == 0 || line.rfind("warp ", 0) == 0)
            lines.push_back(line);
    return lines;
}

// The show run in this process on the generated data, offline, with the hash of every frame
// presented.
class DrivenShow {
public:
    DrivenShow() {
        auto backend = std::make_unique<ptc::HeadlessBackend>([this](const std::uint32_t* pixels, int width, int height) {
            lastHash = pixelHash(pixels, std::size_t(width) * std::size_t(height));
        });
        console = std::make_unique<ptc::Console>(std::move(backend));
        driver = std::make_unique<ShowDriver>(*console, ShowDriver::Settings{});
        driver->recordMusicWith(recordShowMusic);
        BASS_SetOutput(BassOutput::Offline);
        {
            // The show's pictures and layers live as long as the process; a test that builds a
            // second show lets the first one's go unfreed.
            [[maybe_unused]] LeakCheckPause pause;
            driver->startUp();
        }
        driver->play();
    }
    ~DrivenShow() { driver->shutDown(); }

    std::uint64_t draw(long frame) {
        driver->drawFrame(frame);
        return lastHash;
    }

    std::unique_ptr<ptc::Console> console;
    std::unique_ptr<ShowDriver> driver;
    std::uint64_t lastHash = 0;
};

long frameAt(double seconds) {
    return long(std::ceil(seconds * 60 - 1e-9));
}

} // namespace

TEST(ShowTime, SecondsOrMinutesAndSeconds) {
    EXPECT_EQ(parseShowTime("95.5"), 95.5);
    EXPECT_EQ(parseShowTime("0"), 0.0);
    EXPECT_EQ(parseShowTime("1:35.5"), 95.5);
    EXPECT_EQ(parseShowTime("12:00"), 720.0);
    for (const char* wrong : {"", "-3", "1:60", "1:", ":5", "a", "1.2.3", "1:2:3", "1e3", " 4"})
        EXPECT_EQ(parseShowTime(wrong), std::nullopt) << wrong;
}

TEST(ShowJump, AJumpRunsTheCuesOfTheRunFromTheStart) {
    TemporaryDirectory root("jump-trace");
    writeShowData(root.path);
    // The test module's order 1 starts at 0.96 s: frame 58 at 60 frames a second.
    RunResult jump = runVelmora("--headless --start 1 --frames 30 --trace", root.path);
    RunResult at = runVelmora("--headless --at 0.96 --frames 30 --trace", root.path);
    RunResult continuous = runVelmora("--headless --frames 88 --trace", root.path);
    ASSERT_EQ(jump.status, 0) << jump.err;
    ASSERT_EQ(continuous.status, 0) << continuous.err;
    EXPECT_EQ(traceLines(jump.out), traceLines(continuous.out));
    EXPECT_EQ(at.out, jump.out);
    EXPECT_EQ(traceLines(jump.out).front(), "cue 1 @ 0:0 | crossFade14to15:1 particleFlow:9 fadeToBlack:98 noise:666");
}

TEST(ShowJump, RefusesAnOrderPastTheMusicsEndAndABadTime) {
    TemporaryDirectory root("jump-refused");
    writeShowData(root.path);
    RunResult order = runVelmora("--headless --start 7 --frames 1", root.path);
    EXPECT_EQ(order.status, 1);
    EXPECT_EQ(order.err, "velmora: --start 7: the music has 2 orders (0 to 1)\n");
    RunResult time = runVelmora("--headless --at 1:75 --frames 1", root.path);
    EXPECT_EQ(time.status, 1);
    EXPECT_EQ(time.err, "velmora: --at 1:75: give seconds (95.5) or minutes and seconds (1:35.5)\n");
    RunResult huge = runVelmora("--headless --at 1" + std::string(400, '0') + " --frames 1", root.path);
    EXPECT_EQ(huge.status, 1);
    EXPECT_EQ(huge.err, "velmora: --at inf: a jump goes at most 604800 s (a week) into the show\n");
}

// The whole first pass drawn once with a checkpoint every `spacing` frames; then frames across
// every scene, the warp's first frames, the fractal and the ring among them, are reached from the
// checkpoint before them: first in the same show, then in a show built afresh, going back and
// forth; and by jumps forward from the start. Each must be the frame of the run from the start.
TEST(LongShowRun, RestoredCheckpointsDrawTheFramesOfTheRunFromTheStart) {
    TemporaryDirectory root("checkpoints");
    linkFullShowData(root.path);
    DataDirectory inData(root.path.string());
    const MusicClock& clock = showClock();
    const long spacing = 600;

    std::vector<long> targets;
    for (int order : {0, 3, 9, 14, 22, 25, 29, 31, 35, 37, 43, 48})
        targets.push_back(frameAt(clock.orderStart(order) + 1.3));
    long warpStart = frameAt(clock.orderStart(18));
    targets.insert(targets.end(), {warpStart, warpStart + 1, warpStart + 2, frameAt(clock.orderStart(14)) + 1});
    if (!sanitizedBuild)
        for (double seconds = 7.0; seconds < clock.passSeconds; seconds += 41.0)
            targets.push_back(frameAt(seconds));
    long end = *std::max_element(targets.begin(), targets.end()) + 1;

    std::map<long, std::uint64_t> continuous;
    std::map<long, Checkpoint> checkpoints;
    {
        DrivenShow show;
        for (long frame = 0; frame < end; ++frame) {
            if (frame % spacing == 0)
                checkpoints[frame] = show.driver->checkpoint();
            std::uint64_t hash = show.draw(frame);
            if (std::find(targets.begin(), targets.end(), frame) != targets.end())
                continuous[frame] = hash;
        }
        // Back into the same show, to an early frame.
        long early = targets.front();
        show.driver->restore(checkpoints[early / spacing * spacing]);
        show.driver->advanceTo(early);
        EXPECT_EQ(show.draw(early), continuous[early]) << "frame " << early << " in the same show";
    }
    // Jumps forward in a show built afresh, as --at makes them: drawn up to the target without
    // being shown.
    std::sort(targets.begin(), targets.end());
    {
        DrivenShow jumping;
        for (long target : targets) {
            jumping.driver->advanceTo(target);
            EXPECT_EQ(jumping.draw(target), continuous[target]) << "frame " << target << " after a jump";
        }
    }
    DrivenShow fresh;
    // Late and early targets in turn, so restores go backwards as well as forwards.
    for (std::size_t i = 0; i < targets.size(); ++i) {
        long target = i % 2 == 0 ? targets[targets.size() - 1 - i / 2] : targets[i / 2];
        const Checkpoint& before = std::prev(checkpoints.upper_bound(target))->second;
        fresh.driver->restore(before);
        fresh.driver->advanceTo(target);
        EXPECT_EQ(fresh.draw(target), continuous[target]) << "frame " << target << " after a restore";
    }
}

// A jump on the command line lands on the frames and the sound of the run from the start: inside
// the warp's first frames, in the fractal and in the ring.
TEST(LongShowRun, JumpsLandOnTheFramesOfTheRunFromTheStart) {
    TemporaryDirectory root("jump-frames");
    linkFullShowData(root.path);
    const MusicClock& clock = showClock();
    std::vector<double> times = {clock.orderStart(18) + 1.0 / 60, clock.orderStart(29) + 2.0, clock.orderStart(43) + 3.0};
    std::string snapshots;
    for (double& time : times) {
        time = std::stod(std::to_string(time)); // as the command line reads it back
        snapshots += (snapshots.empty() ? "" : ",") + std::to_string(time);
    }
    RunResult continuous = runVelmora("--png-dir continuous --snapshot " + snapshots, root.path);
    ASSERT_EQ(continuous.status, 0) << continuous.err;
    for (double time : times) {
        RunResult jump = runVelmora("--png-dir jump --frames 1 --at " + std::to_string(time), root.path);
        ASSERT_EQ(jump.status, 0) << jump.err;
        char name[32];
        std::snprintf(name, sizeof name, "frame%06ld.png", frameAt(time));
        EXPECT_EQ(readFile(root.path / "jump" / "frame000000.png"), readFile(root.path / "continuous" / name))
            << "the jump to " << time << " s";
        // The sound from the jump is the run's sound from the jump's frame: 44100 / 60 stereo
        // 16-bit samples a frame after the WAV's 44-byte header.
        std::string jumpSound = readFile(root.path / "jump" / "audio.wav").substr(44);
        std::string runSound = readFile(root.path / "continuous" / "audio.wav").substr(44);
        std::size_t jumpByte = std::size_t(frameAt(time)) * 735 * 4;
        ASSERT_EQ(jumpSound.size(), 735u * 4) << "one frame's sound";
        ASSERT_GE(runSound.size(), jumpByte + jumpSound.size());
        EXPECT_TRUE(jumpSound == runSound.substr(jumpByte, jumpSound.size())) << "the sound after the jump to " << time << " s";
    }
}

// Seeks within one show, back and on, also after the loop skipped a frame: each lands on the
// frame of the run from the start, from the checkpoints kept while drawing.
TEST(ShowSeek, SeeksBackAndOnDrawTheFramesOfTheRunFromTheStart) {
    TemporaryDirectory root("seek");
    writeShowData(root.path);
    DataDirectory inData(root.path.string());
    std::vector<std::uint64_t> continuous;
    {
        DrivenShow show;
        for (long frame = 0; frame < 130; ++frame)
            continuous.push_back(show.draw(frame));
    }
    DrivenShow show;
    show.driver->keepCheckpoints(30);
    for (long frame = 0; frame < 100; ++frame)
        show.draw(frame);
    EXPECT_EQ(show.driver->keptCheckpointCount(), 4u) << "frames 0, 30, 60 and 90";

    auto drawFrom = [&](long first, long count, const char* how) {
        show.driver->seek(first);
        for (long frame = first; frame < first + count; ++frame)
            EXPECT_EQ(show.draw(frame), continuous[std::size_t(frame)]) << "frame " << frame << " " << how;
    };
    drawFrom(40, 5, "after a seek back");
    drawFrom(95, 3, "after a seek on past a checkpoint");
    drawFrom(120, 2, "after a seek past the last checkpoint");
    show.draw(125); // a frame skipped, as a late window does
    drawFrom(121, 3, "after a skipped frame");
    // The test module's first pass ends at 1.92 s: frame 120 lies past it and is not kept.
    EXPECT_EQ(show.driver->keptCheckpointCount(), 4u);
}

// The music restarted at a time of the first pass (a seek in the window) starts from the order
// playing then and renders only the rest of it. The show's module holds no note over from one
// order into the next, so what it plays is the run's sound sample for sample.
TEST(ShowSeek, MusicRestartedAtATimePlaysTheSoundOfTheRunFromTheStart) {
    TemporaryDirectory root("seek-music");
    linkFullShowData(root.path);
    DataDirectory inData(root.path.string());
    ptc::Console console(std::make_unique<ptc::HeadlessBackend>(ptc::FrameSink{}));
    ShowDriver driver(console, ShowDriver::Settings{});
    driver.recordMusicWith(recordShowMusic);
    BASS_SetOutput(BassOutput::Offline);
    driver.startUp();
    driver.play();
    std::vector<std::int16_t> run;
    BASS_RenderOffline(260.0, run);
    for (double seconds : {50.0, 121.3, 250.7}) {
        driver.restartMusicAt(seconds);
        // The player's clock counts from the start of the order it started at.
        std::vector<std::int16_t> sound;
        BASS_RenderOffline(BASS_GetSeconds() + 2.0, sound);
        ASSERT_EQ(sound.size(), 2u * 88200u);
        std::size_t first = std::size_t(std::llround(seconds * 44100)) * 2;
        EXPECT_TRUE(std::equal(sound.begin(), sound.end(), run.begin() + std::ptrdiff_t(first)))
            << "the sound from " << seconds << " s";
    }
    driver.shutDown();
}
