#include "app/ShowControls.h"

#include "app/CheckpointCompression.h"
#include "driver/FrameStats.h"
#include "driver/ShowDriver.h"
#include "platform/ptc/Error.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

ShowControls::ShowControls(ShowDriver& showDriver, FramePacer& framePacer, PacedClock& pacedClock, int framesPerSecond,
                           std::function<void(long)> show)
    : driver(showDriver), pacer(framePacer), clock(pacedClock), fps(framesPerSecond), showFrame(std::move(show)) {
    if (driver.frameInHand() >= passEnd())
        return;
    CheckpointPacking packing = compressedCheckpoints();
    try {
        preparation.emplace(driver, checkpointSpacing(fps), passEnd(), packing);
        driver.keepCheckpoints(0, packing);
    } catch (const ptc::DynamicError& error) {
        // The show keeps its own checkpoints as it plays; seeks past them draw on.
        std::fprintf(stderr, "velmora: %s; seeks draw on from what has been played\n", error.what());
    }
}

long ShowControls::passEnd() const {
    return std::lround(driver.passSeconds() * fps);
}

long ShowControls::checkpointSpacing(int fps) {
    return std::lround(checkpointSpacingSeconds * fps);
}

void ShowControls::collectPrepared() {
    if (!preparation)
        return;
    for (Checkpoint& checkpoint : preparation->takeArrived())
        driver.keepPackedCheckpoint(checkpoint.nextFrame, std::move(checkpoint.bytes));
}

std::string ShowControls::report() const {
    char text[256];
    std::snprintf(text, sizeof text, "controls: %d seeks, mean %.1f ms, worst %.1f ms; %zu checkpoints kept, %.1f MB\n",
                  seeks, seeks > 0 ? seekMilliseconds / seeks : 0.0, worstSeekMilliseconds,
                  driver.keptCheckpointCount(), double(driver.keptCheckpointBytes()) / 1e6);
    std::string lines = text;
    if (preparation && preparation->finished()) {
        std::snprintf(text, sizeof text, "preparation: the first pass in %.1f s\n", preparation->seconds());
        lines += text;
    } else if (preparation) {
        lines += "preparation: not finished\n";
    }
    return lines;
}

bool ShowControls::press(ptc::Key key) {
    using ptc::Key;
    switch (key) {
    case Key::Space:
        togglePause();
        break;
    // Seeks stay within the first pass; after it the show loops on as it plays.
    case Key::Left:
        seekTo(std::max(0L, std::min(frameInHand(), passEnd()) - std::lround(seekSeconds * fps)));
        break;
    case Key::Right:
        if (frameInHand() < passEnd())
            seekTo(std::min(passEnd(), frameInHand() + std::lround(seekSeconds * fps)));
        break;
    case Key::PageUp:
        previousScene();
        break;
    case Key::PageDown:
        nextScene();
        break;
    case Key::Period:
        step();
        break;
    case Key::Home:
        seekTo(0);
        break;
    case Key::Escape:
    case Key::Q:
    case Key::Close:
        return false;
    case Key::Other:
        break;
    }
    return true;
}

void ShowControls::cueRan(const std::vector<StackSlot>& before, const std::vector<StackSlot>& after) {
    if (insertsLayers(before, after) && driver.frameInHand() < passEnd())
        sceneStarts.insert(driver.frameInHand());
}

// The frame the window shows next: the one after the last shown.
long ShowControls::frameInHand() const {
    return pacer.nextFrame();
}

void ShowControls::togglePause() {
    isPaused = !isPaused;
    if (isPaused) {
        driver.pauseMusic();
        return;
    }
    double now = pacer.frameTime(frameInHand());
    if (musicBehind)
        driver.restartMusicAt(now);
    else
        driver.resumeMusic();
    musicBehind = false;
    clock.restartAt(now);
}

void ShowControls::step() {
    if (!isPaused)
        return;
    long frame = frameInHand();
    driver.seek(frame);
    showFrame(frame);
    pacer.startAt(frame + 1);
    musicBehind = true;
}

// The frame is shown at once, paused or not; playing, the music and the clock go on from it.
void ShowControls::seekTo(long frame) {
    auto start = std::chrono::steady_clock::now();
    collectPrepared();
    driver.seek(frame);
    showFrame(frame);
    double milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    ++seeks;
    seekMilliseconds += milliseconds;
    worstSeekMilliseconds = std::max(worstSeekMilliseconds, milliseconds);
    pacer.startAt(frame + 1);
    double next = pacer.frameTime(frame + 1);
    if (isPaused) {
        musicBehind = true;
        return;
    }
    driver.restartMusicAt(next);
    clock.restartAt(next);
}

void ShowControls::previousScene() {
    long shown = frameInHand() - 1;
    long target = 0;
    for (long start : sceneStarts)
        if (start < shown - fps)
            target = start;
    seekTo(target);
}

// A scene not seen yet is found by drawing on, without showing, until a cue starts one (or the
// first pass ends).
void ShowControls::nextScene() {
    long shown = frameInHand() - 1;
    driver.seek(frameInHand());
    while (sceneStarts.upper_bound(shown) == sceneStarts.end() && driver.frameInHand() < passEnd())
        driver.advanceTo(driver.frameInHand() + 1);
    auto next = sceneStarts.upper_bound(shown);
    if (next != sceneStarts.end())
        seekTo(*next);
}
