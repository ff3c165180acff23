// The show in a window. These tests need a display; `make test` runs them under a virtual one
// (xvfb-run, with SDL's dummy audio driver). Without a display they are skipped.
#include "ShowTestSupport.h"
#include "app/Show.h"
#include "platform/ptc/HeadlessBackend.h"
#include "platform/ptc/window/WindowBackend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cstdlib>
#include <map>
#include <set>

using namespace showtest;

namespace {

struct Shot {
    std::vector<std::uint32_t> pixels;
    int width = 0;
    int height = 0;

    std::uint32_t at(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
    std::size_t distinctColours() const {
        return std::set<std::uint32_t>(pixels.begin(), pixels.end()).size();
    }
};

Shot readBack(ptc::ConsoleBackend& backend) {
    Shot shot;
    auto* window = dynamic_cast<ptc::WindowBackend*>(&backend);
    if (window != nullptr)
        shot.pixels = window->readBack(shot.width, shot.height);
    return shot;
}

} // namespace

TEST(WindowShow, ShowsTheLoadingGaugeThenFrames) {
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "no display";
    TemporaryDirectory root("window");
    writeShowData(root.path);

    ShowOptions options;
    options.dataDirectory = root.path.string();
    options.scale = 1;
    options.seconds = 1.0;
    std::vector<Shot> loading;
    Shot lastFrame;
    long frames = 0;
    ShowHooks hooks;
    hooks.afterPresent = [&](ptc::ConsoleBackend& backend, long frame) {
        if (frame < 0) {
            loading.push_back(readBack(backend));
        } else {
            ++frames;
            lastFrame = readBack(backend);
        }
    };
    ASSERT_EQ(runShow(options, hooks), 0);

    // Loading screens at 0.00 .. 0.78, 0.79, 0.83, 0.85, 0.87, 0.89, 0.91, 0.92, 0.94, 0.96, 0.97
    // and 1.00.
    ASSERT_EQ(loading.size(), 90u);
    const Shot& first = loading.front();
    const Shot& full = loading.back();
    ASSERT_EQ(first.width, 512);
    ASSERT_EQ(first.height, 384);
    EXPECT_GT(first.distinctColours(), 100u) << "the picture, not a blank window";
    // Where the first spoke runs (column 384, rows 225 to 239) the picture's blue (about 128)
    // is lifted to full by the bright line once any progress is shown.
    EXPECT_LT(first.at(384, 232) & 0xFF, 0xC0u);
    EXPECT_EQ(full.at(384, 232) & 0xFF, 0xFFu);
    // The spoke at a quarter turn points right: row 144, columns 464 to 480.
    EXPECT_EQ(full.at(470, 144) & 0xFF, 0xFFu);

    EXPECT_GT(frames, 0);
    ASSERT_EQ(lastFrame.width, 512);
    EXPECT_GT(lastFrame.distinctColours(), 100u) << "the frames are not blank";
}

namespace {

// FNV-1a over the pixels' colours; the byte above them is not part of the picture.
std::uint64_t frameHash(const std::uint32_t* pixels, std::size_t count) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (std::size_t i = 0; i < count; ++i) {
        hash ^= pixels[i] & 0xFFFFFF;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

// The hash of every frame of the offline render the options make (without their window).
std::map<long, std::uint64_t> offlineFrameHashes(ShowOptions options) {
    std::map<long, std::uint64_t> rendered;
    std::uint64_t lastHash = 0;
    ShowHooks hooks;
    hooks.makeBackend = [&lastHash] {
        return std::make_unique<ptc::HeadlessBackend>([&lastHash](const std::uint32_t* pixels, int width, int height) {
            lastHash = frameHash(pixels, std::size_t(width) * height);
        });
    };
    hooks.afterPresent = [&](ptc::ConsoleBackend&, long frame) {
        if (frame >= 0)
            rendered[frame] = lastHash;
    };
    options.headless = true;
    EXPECT_EQ(runShow(options, hooks), 0);
    return rendered;
}

// The window at scale 1 with no sound, at a low rate that keeps drops rare on a busy machine,
// on the show's full data linked into `root`.
ShowOptions slowSilentWindow(const TemporaryDirectory& root) {
    ShowOptions options;
    options.dataDirectory = linkFullShowData(root.path).string();
    options.scale = 1;
    options.mute = true;
    options.fps = 20;
    return options;
}

} // namespace

// A window at the show rate draws frame k at exactly k / fps with the music's level at that
// time: until it drops a frame, every frame it shows is the offline render's frame of the same
// number. (Layers move per frame drawn, so after a drop the two part ways.) A low rate keeps
// drops rare on a busy machine; a window that drops early is run again, up to three times.
TEST(WindowShow, FramesAreTheOfflineFramesOfTheSameNumbers) {
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "no display";
    TemporaryDirectory root("window-frames");
    ShowOptions options = slowSilentWindow(root);
    options.seconds = 4.0;

    std::map<long, std::uint64_t> rendered = offlineFrameHashes(options);
    ASSERT_EQ(rendered.size(), 80u);

    long compared = 0;
    for (int attempt = 0; attempt < 3 && compared < 40; ++attempt) {
        std::map<long, std::uint64_t> shown;
        ShowHooks windowHooks;
        windowHooks.afterPresent = [&](ptc::ConsoleBackend& backend, long frame) {
            if (frame < 0)
                return;
            Shot shot = readBack(backend);
            ASSERT_EQ(shot.pixels.size(), 512u * 384u);
            shown[frame] = frameHash(shot.pixels.data(), shot.pixels.size());
        };
        ASSERT_EQ(runShow(options, windowHooks), 0);
        compared = 0;
        for (const auto& [frame, hash] : shown) {
            if (frame != compared)
                break;
            ASSERT_EQ(rendered.count(frame), 1u) << "frame " << frame << " lies beyond the offline run";
            ASSERT_EQ(hash, rendered[frame]) << "frame " << frame;
            ++compared;
        }
    }
    EXPECT_GE(compared, 40) << "the window dropped frame " << compared << " in every attempt";
}

// A display that goes away (the server killed) ends the show with one line and status 1; the
// music's threads stop first instead of aborting the process.
TEST(WindowShow, ALostDisplayEndsTheShowWithOneLine) {
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no Xvfb";
    TemporaryDirectory root("lost-display");
    writeShowData(root.path);
    // A display of our own, to take away; Xvfb names the number it chose.
    fs::path displayFile = root.path / "display";
    std::string start = "Xvfb -displayfd 3 -screen 0 1024x768x24 3>'" + displayFile.string() +
                        "' >/dev/null 2>&1 & echo $! >'" + (root.path / "xvfb.pid").string() + "'";
    ASSERT_EQ(std::system(start.c_str()), 0);
    pid_t server = std::stoi(readFile(root.path / "xvfb.pid"));
    std::string display;
    for (int attempt = 0; attempt < 100 && display.empty(); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        display = readFile(displayFile);
        display.erase(std::remove(display.begin(), display.end(), '\n'), display.end());
    }
    if (display.empty()) {
        kill(server, SIGKILL);
        GTEST_SKIP() << "Xvfb did not start";
    }
    BackgroundRun run("--mute --trace", root.path, "DISPLAY=:" + display + " SDL_AUDIODRIVER=dummy");
    for (int attempt = 0; attempt < 300 && run.out().find("cue 1 ") == std::string::npos; ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(server, SIGTERM);
    waitpid(server, nullptr, WNOHANG);
    int status = run.wait();
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << ": " << run.err();
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(run.err(), "velmora: lost the connection to the display (:" + display + ")\n");
}

// With --controls, keys seek, pause and step: every frame shown right after a key, and those
// shown in order after it, is the offline render's frame of the same number.
TEST(WindowShow, ControlsSeekPauseAndStepToTheOfflineFrames) {
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "no display";
    TemporaryDirectory root("window-controls");
    ShowOptions options = slowSilentWindow(root);

    ShowOptions offline = options;
    offline.seconds = 16.0;
    std::map<long, std::uint64_t> rendered = offlineFrameHashes(offline);
    ASSERT_EQ(rendered.size(), 320u);

    // After the frame `after` is shown, `keys` are pressed; the next frame shown is `next`. At
    // 20 fps 10 s is 200 frames; the second scene starts 14.07 s in, at frame 282.
    struct Press {
        long after;
        std::vector<ptc::Key> keys;
        long next;
    };
    using ptc::Key;
    const std::vector<Press> script = {
        {10, {Key::Right}, 211},                            // 10 s on from frame 11
        {213, {Key::Left}, 14},                             // 10 s back from frame 214
        {20, {Key::Space, Key::Period, Key::Period}, 21},   // paused at 21, two steps
        {22, {Key::Space}, 23},                             // playing on
        {30, {Key::PageDown}, 282},                         // the next scene, not seen yet
        {284, {Key::PageUp}, 0},                            // within a second of its start
        {5, {Key::Home}, 0},
        {3, {Key::Escape}, -1},
    };
    std::size_t nextPress = 0;
    std::vector<long> shown;
    std::set<long> afterKeys; // indices into `shown` of the frames shown right after a press
    std::vector<std::uint64_t> shownHashes;
    ShowHooks windowHooks;
    windowHooks.afterPresent = [&](ptc::ConsoleBackend& backend, long frame) {
        if (frame < 0)
            return;
        Shot shot = readBack(backend);
        ASSERT_EQ(shot.pixels.size(), 512u * 384u);
        if (nextPress > 0 && shown.size() > 0 && shown.back() == script[nextPress - 1].after)
            afterKeys.insert(shown.size());
        shown.push_back(frame);
        shownHashes.push_back(frameHash(shot.pixels.data(), shot.pixels.size()));
        if (nextPress < script.size() && frame == script[nextPress].after) {
            auto& window = dynamic_cast<ptc::WindowBackend&>(backend);
            for (Key key : script[nextPress].keys)
                window.simulateKeyPress(key);
            ++nextPress;
        }
    };
    options.controls = true;
    ASSERT_EQ(runShow(options, windowHooks), 0);
    ASSERT_EQ(nextPress, script.size()) << "the show ended before every key was pressed";

    std::vector<long> targets;
    for (std::size_t index : afterKeys)
        targets.push_back(shown[index]);
    std::vector<long> expectedTargets;
    for (const Press& press : script)
        if (press.next >= 0)
            expectedTargets.push_back(press.next);
    EXPECT_EQ(targets, expectedTargets);

    // A frame is exact after a press and while the frames after it come in order (a dropped
    // frame leaves the layers a step behind until the next seek).
    long compared = 0;
    bool exact = false;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        exact = afterKeys.count(i) != 0 || (exact && shown[i] == shown[i - 1] + 1) || i == 0;
        if (!exact)
            continue;
        ASSERT_EQ(rendered.count(shown[i]), 1u) << "frame " << shown[i] << " lies beyond the offline run";
        EXPECT_EQ(shownHashes[i], rendered[shown[i]]) << "frame " << shown[i] << ", shown " << i << "th";
        ++compared;
    }
    EXPECT_GE(compared, 30);
}
