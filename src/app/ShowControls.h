#pragma once
// --controls: the keys of the paced window, as a video player has them.
//   Space            pause and resume (the music too)
//   Left / Right     10 s back / on
//   Page Up / Down   the start of the previous / next scene (a scene starts with a cue that adds
//                    layers, as --stats counts them; within a second of a scene's start, Page Up
//                    goes to the one before)
//   .                one frame on, while paused
//   Home             the start
//   Escape, Q        the end (so does closing the window)
// Every frame shown after a seek or a step is the frame of a run from the start: the driver
// restores its latest checkpoint before the frame and draws on from there without showing.

#include "app/FramePacer.h"
#include "app/ShowPreparation.h"
#include "platform/ptc/Key.h"
#include "platform/ptc/Timer.h"

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

class ShowDriver;
struct StackSlot;

// The paced window's clock: the show's time, from `origin` at the last restart on.
class PacedClock {
public:
    explicit PacedClock(ptc::Timer::TimeSource source) : timer(std::move(source)) {}
    void restartAt(double seconds) {
        origin = seconds;
        timer.start();
    }
    double seconds() const { return origin + timer.time(); }

private:
    ptc::Timer timer;
    double origin = 0.0;
};

class ShowControls {
public:
    // Seeks are as far apart as this, at most, from a kept checkpoint.
    static constexpr double checkpointSpacingSeconds = 2.0;
    static constexpr double seekSeconds = 10.0;
    static long checkpointSpacing(int fps);

    // `showFrame` draws and presents one frame as the paced loop does. The driver has started up
    // keeping checkpoints every checkpointSpacing(fps) frames, packed with compressedCheckpoints();
    // the first pass is prepared from its first frame on, and the driver then keeps no more of
    // its own (packing one takes longer than a frame).
    ShowControls(ShowDriver& driver, FramePacer& pacer, PacedClock& clock, int fps,
                 std::function<void(long frame)> showFrame);

    // Hands the checkpoints prepared so far to the driver.
    void collectPrepared();
    // For --stats: the seeks and their times, the checkpoints kept, the preparation's time.
    std::string report() const;

    // Does what `key` asks; false when it ends the show.
    bool press(ptc::Key key);
    bool paused() const { return isPaused; }

    // Every cue that runs, with the stack before and after it: where scenes start.
    void cueRan(const std::vector<StackSlot>& before, const std::vector<StackSlot>& after);

private:
    void togglePause();
    void step();
    void seekTo(long frame);
    void previousScene();
    void nextScene();
    long frameInHand() const;
    long passEnd() const;

    ShowDriver& driver;
    FramePacer& pacer;
    PacedClock& clock;
    int fps;
    std::function<void(long)> showFrame;
    bool isPaused = false;
    // The music stands still at a frame the picture has left (steps while paused).
    bool musicBehind = false;
    std::set<long> sceneStarts;
    std::optional<ShowPreparation> preparation;
    int seeks = 0;
    double seekMilliseconds = 0.0;
    double worstSeekMilliseconds = 0.0;
};
