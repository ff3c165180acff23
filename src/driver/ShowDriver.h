#pragma once
// The show's driver, the same for every loop that runs it (the native window and offline loops,
// the browser's animation frames): start-up with the loading screen, the music and the cues,
// then one call per frame, then shutdown. The loop decides when frames are drawn; the driver
// draws frame k exactly as the time k / fps asks, wherever it runs.
//
// The music's part of a frame (the syncs stamped up to its time, the level at its time) comes
// from the music's timeline: one continuous run of the player from the start, recorded on a
// worker thread during start-up by the native program's recorder, prepared beforehand for the
// browser. So frame k is the same
// however it is reached: by playing from the start, by a jump, or from a restored checkpoint.

#include "driver/CueDispatch.h"
#include "driver/ShowState.h"
#include "music/MusicTimeline.h"

#include <cstdint>
#include <functional>
#include <future>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace ptc {
class Console;
class Surface;
} // namespace ptc

class FrameStats;

// One continuous run of the show's music from its start, with its cues, at the show rate.
struct RecordedMusic {
    MusicTimeline timeline;
    // The frame at which each order of the music first starts, or noFrame for one the run never
    // plays.
    std::vector<std::uint64_t> orderStarts;
};

// Records that run for the given cues (in registration order) at `fps` frames per second.
using MusicRecorder = std::function<RecordedMusic(const std::vector<TimelineRegistration>& cues, int fps)>;

// How kept checkpoints are stored: `pack` makes the stored bytes of a checkpoint's bytes, and
// `unpack` gives them back (the native program compresses them). Empty functions keep them as
// they are.
struct CheckpointPacking {
    std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>&)> pack;
    std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>&)> unpack;
};

class ShowDriver {
  public:
    // The player's output rate, frames per second (a recording's sound has it too).
    static constexpr int sampleRate = 44100;

    struct Settings {
        int fps = 60;
        // A jump: the show starts at this order's first row (0: the start) ...
        int startOrder = 0;
        // ... or at this time in seconds (it wins over startOrder).
        std::optional<double> startSeconds;
        // Receives --trace lines, or null.
        std::ostream* trace = nullptr;
    };

    // Searches the console's modes, opens it and makes the off-screen surface and work buffers.
    ShowDriver(ptc::Console& console, const Settings& settings);
    ~ShowDriver();
    ShowDriver(const ShowDriver&) = delete;
    ShowDriver& operator=(const ShowDriver&) = delete;

    // The timeline the show's music follows, made beforehand (the browser's); the show then runs
    // at the rate it was made for. Without one, start-up records it with `recordMusicWith`'s
    // recorder; a jump to an order needs the recorder's order starts.
    void useTimeline(MusicTimeline timeline);
    void recordMusicWith(MusicRecorder recorder);

    // The loading and construction phases with the loading gauge, the player, the music and the
    // cues, then the jump to the first frame. The player's output is chosen before
    // (BASS_SetOutput). `afterGauge` runs after each loading screen is presented. Failures throw
    // DynamicError.
    void startUp(const std::function<void()>& afterGauge = {});

    // The loading screen at `fraction` before start-up (the browser's, while the files arrive).
    // It leaves the random numbers as it found them, so start-up draws the same ones as without it.
    void showGauge(double fraction);

    // Starts the music at the first frame's time.
    void play();

    // Seconds of one pass through the music (0 if unknown).
    double passSeconds() const;

    // The frame the show starts with: 0, or where --at or --start jumps.
    long firstFrame() const { return startFrame; }
    // Wall-clock seconds the jump to the first frame took (0 without a jump).
    double jumpSeconds() const { return jumpDuration; }

    // Frame `frame` at exactly frame / fps: the syncs stamped up to that time run, the music
    // level is the level at that time, the stack is drawn and presented.
    void drawFrame(long frame, FrameStats* timing = nullptr);

    // Draws every frame from the next one up to `frame` (excluded) without presenting: the state
    // a continuous run has before it draws `frame`.
    void advanceTo(long frame);

    // A frame at the time `seconds` of the clock (the loop without a show rate).
    void drawAt(double seconds, FrameStats* timing = nullptr);

    // From now on, keeps a checkpoint of the show's state before every `spacing`-th frame of the
    // first pass, and before the first frame drawn, for seek(); a spacing of 0 keeps none (those
    // kept stay). Only frames drawn in order count: once the loop skips a frame, no checkpoint is
    // kept until the next seek.
    void keepCheckpoints(long spacing, CheckpointPacking packing = {});
    // Makes `frame` the next frame, in the state a run from the start has before drawing it:
    // from the latest kept checkpoint at or before it, or from where the show stands when that is
    // nearer, drawing the frames between without presenting. The music stays where it is.
    void seek(long frame);
    // The frame being drawn while a frame draws (cues see it), else the next one in order.
    long frameInHand() const { return nextFrame; }
    // Keeps a checkpoint made elsewhere (a copy of this show drawing ahead), packed as
    // keepCheckpoints' packing packs; one kept already for its frame stays.
    void keepPackedCheckpoint(long frame, std::vector<std::uint8_t> packed);
    std::size_t keptCheckpointCount() const { return keptCheckpoints.size(); }
    // The frame after the last one drawn in a run in order from the start (or from a checkpoint):
    // a seek up to it finds a kept checkpoint at most a spacing before its frame.
    long preparedFrame() const { return preparedThrough; }
    std::size_t keptCheckpointBytes() const { return keptBytes; }

    // The music stopped where it is, and on again from there.
    void pauseMusic();
    void resumeMusic();
    // The music from the time `seconds` of a run from the start, as after a jump.
    void restartMusicAt(double seconds);

    int fps() const { return settings.fps; }
    double frameTime(long frame) const { return double(frame) / settings.fps; }
    // The first frame whose time is at or after `seconds`.
    long frameAtOrAfter(double seconds) const;

    // The show's state before the next frame, and back to it (driver/ShowState.h). A checkpoint
    // restores into this show or into another one that has started up.
    Checkpoint checkpoint();
    void restore(const Checkpoint& checkpoint);

    // The cue dispatch, once start-up has begun; std::logic_error before.
    CueDispatch& cues();

    // The music's timeline, once start-up has begun (it waits for a recording under way).
    const MusicTimeline& timeline();

    // No more --trace lines (a copy of the show drawing ahead must not print them again).
    void stopTracing();

    // Stops and frees the player; the process-wide objects are let go.
    void shutDown();

  private:
    void startRecordingTimeline();
    long jumpTarget();
    void drawMusicFrame(double seconds, FrameStats* timing, bool present);
    void drawStack(double seconds, FrameStats* timing);
    void keepCheckpointIfDue();

    ptc::Console& console;
    Settings settings;
    std::unique_ptr<std::uint32_t[]> bufferA;
    std::unique_ptr<std::uint32_t[]> bufferB;
    std::unique_ptr<ptc::Surface> offscreenSurface;
    bool playerStarted = false;
    std::uint32_t music = 0;
    std::unique_ptr<CueDispatch> cueDispatch;

    MusicRecorder recorder;
    std::vector<std::uint64_t> orderStarts;
    std::future<RecordedMusic> recording;
    std::optional<MusicTimeline> musicTimeline;
    std::unique_ptr<TimelineCursor> cueCursor;

    long startFrame = 0;
    long nextFrame = 0;
    long checkpointSpacing = 0;
    // Whether every frame since the start or the last seek was drawn, in order.
    bool drawnInOrder = true;
    CheckpointPacking checkpointPacking;
    // Packed checkpoints by the frame that follows them.
    std::map<long, std::vector<std::uint8_t>> keptCheckpoints;
    std::size_t keptBytes = 0;
    long preparedThrough = 0;
    double jumpDuration = 0.0;
};
