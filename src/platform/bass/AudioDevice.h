#pragma once
// A sound output that pulls 16-bit stereo frames through a callback, on a thread of its own.
// The player opens one through a factory, so that tests can give it devices that misbehave.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class AudioDevice {
  public:
    // Fills `frames` interleaved stereo frames (left first). Runs on the device's thread.
    using Fill = std::function<void(int16_t* interleaved, size_t frames)>;

    virtual ~AudioDevice() = default;

    // Opens the default output at `rate` frames per second, asking for `framesPerFill` frames
    // per callback. Returns the frames per callback it got, or 0 with `error` set. Paused.
    virtual int open(int rate, int framesPerFill, Fill fill, std::string& error) = 0;
    // Starts pulling frames.
    virtual void resume() = 0;
    // True once the system has taken the device away (unplugged, sound server gone).
    virtual bool lost() = 0;
    // Stops the callbacks; after it returns, `fill` is not called again.
    virtual void close() = 0;
};

using AudioDeviceFactory = std::function<std::unique_ptr<AudioDevice>()>;

// The default output through SDL2.
std::unique_ptr<AudioDevice> makeSdlAudioDevice();
