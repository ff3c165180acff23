#pragma once
// The show's driver, the same for every loop that runs it (the native window and offline loops,
// the browser's animation frames): start-up with the loading screen, the music and the cues,
// then one call per frame, then shutdown. The loop decides when frames are drawn; the driver
// draws frame k exactly as the time k / fps asks, wherever it runs.

#include "main/CueDispatch.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>

namespace ptc {
class Console;
class Surface;
} // namespace ptc

class FrameStats;

class ShowDriver {
  public:
    // The player's output rate, frames per second (a recording's sound has it too).
    static constexpr int sampleRate = 44100;
    // The show's music, relative to the directory the show runs in.
    static constexpr const char* moduleFile = "Data/atbia3.xm";

    struct Settings {
        int fps = 60;
        // Scene jump: playback starts at this order, after the position cues before it acted.
        int startOrder = 0;
        // Receives --trace lines, or null.
        std::ostream* trace = nullptr;
    };

    // Searches the console's modes, opens it and makes the off-screen surface and work buffers.
    ShowDriver(ptc::Console& console, const Settings& settings);
    ~ShowDriver();
    ShowDriver(const ShowDriver&) = delete;
    ShowDriver& operator=(const ShowDriver&) = delete;

    // The loading and construction phases with the loading gauge, the player, the music and the
    // cues, and the scene jump. The player's output is chosen before (BASS_SetOutput).
    // `afterGauge` runs after each loading screen is presented. Failures throw DynamicError.
    void startUp(const std::function<void()>& afterGauge = {});

    // Starts the music; its time 0 is frame 0's.
    void play();

    // Seconds of one pass through the music (0 if unknown).
    double passSeconds() const;

    // Frame `frame` at exactly frame / fps: the syncs stamped up to that time run, the music
    // level is the level at that time, the stack is drawn and presented.
    void drawFrame(long frame, FrameStats* timing = nullptr);

    // A frame at the time `seconds` of the clock (the loop without a show rate).
    void drawAt(double seconds, FrameStats* timing = nullptr);

    double frameTime(long frame) const { return double(frame) / settings.fps; }

    CueDispatch& cues() { return *cueDispatch; }

    // Stops and frees the player; the process-wide objects are let go.
    void shutDown();

  private:
    void drawStack(double seconds, FrameStats* timing);

    ptc::Console& console;
    Settings settings;
    std::unique_ptr<std::uint32_t[]> bufferA;
    std::unique_ptr<std::uint32_t[]> bufferB;
    std::unique_ptr<ptc::Surface> offscreenSurface;
    bool playerStarted = false;
    std::uint32_t music = 0;
    std::unique_ptr<CueDispatch> cueDispatch;
};
