#pragma once
// The native player's state and the small steps its three parts share: the BASS_* calls
// (Bass.cpp), the real-time outputs with their feeder thread (BassRealTime.cpp) and the offline
// render (BassOffline.cpp).
//
// The state lives behind one mutex, shared by the main thread and the threads that feed the
// output (the device's callback, and the feeder). They render and queue syncs; only
// BASS_RunSyncs, on the caller's thread, runs their actions.

#include "platform/bass/AudioClock.h"
#include "platform/bass/AudioDevice.h"
#include "platform/bass/Bass.h"
#include "platform/bass/MusicPlayer.h"

#include <cmath>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bass {

constexpr int unityAmplify = 50;
constexpr int wantedDeviceFrames = 1024;

struct Player {
    std::mutex mutex;

    BassOutput requestedOutput = BassOutput::Device;
    BassOutput output = BassOutput::Device;
    bool initialised = false;
    bool outputStarted = false;
    int rate = 44100;
    int volume = 100;
    int startOrder = 0;
    double startSeconds = 0.0;
    std::string error;
    uint32_t nextHandle = 1;

    std::unique_ptr<MusicPlayer> music;
    HMUSIC musicHandle = 0;
    int amplify = unityAmplify;
    bool playing = false;
    uint64_t startFrame = 0; // the frame playback started at (the start time's)

    std::deque<ReachedSync> queue;
    std::vector<ReachedSync> reached; // scratch of the rendering thread, under the mutex
    AudioClock clock;
    double offlineSeconds = 0.0;
    uint64_t offlineFrames = 0;

    AudioDeviceFactory deviceFactory; // empty: SDL's
    std::unique_ptr<AudioDevice> device;
    // Devices that stopped; they may still call back (with a stale generation) until closed.
    std::vector<std::unique_ptr<AudioDevice>> stoppedDevices;
    uint64_t deviceGeneration = 0;
    bool deviceStalled = false;
    AudioClock::Clock::time_point lastFill{};
    AudioClock::Clock::time_point nextReopen{};
    int deviceFrames = wantedDeviceFrames; // frames per device callback
    std::thread feeder;
    std::condition_variable feederWake;
    bool feederQuit = false;

    // A process that ends through exit() while the music plays (a lost display) must stop the
    // feeder before its thread object goes, which would otherwise abort.
    ~Player();
};

Player& player();

// The frame heard at `seconds` of playback.
inline uint64_t frameAt(const Player& p, double seconds) {
    return seconds > 0.0 ? uint64_t(std::llround(seconds * p.rate)) : 0;
}

// Moves the syncs just reached onto the queue. Caller holds the mutex.
inline void queueReached(Player& p) {
    p.queue.insert(p.queue.end(), p.reached.begin(), p.reached.end());
    p.reached.clear();
}

// Renders every tick that starts at or before `seconds` and queues its syncs, so that every
// sync of that time is known. Caller holds the mutex.
inline void renderTicksThrough(Player& p, double seconds) {
    while (double(p.music->renderedFrames()) / p.rate <= seconds)
        p.music->renderTick(p.reached);
    queueReached(p);
}

// --- The real-time outputs (BassRealTime.cpp) ---

// Opens the device of a Device output; without one the output runs Silent, with a warning.
void openDevice(Player& p);
// Starts the device and the feeder thread. Caller must not hold the mutex.
void startRealTimeOutput(Player& p);
// Stops whatever feeds the output. Caller must not hold the mutex.
void closeOutput(Player& p);
// A real-time output's rendering ahead of its device up to `seconds` (at most a second past
// its clock); nothing for the offline output, whose caller renders. Caller holds the mutex.
void renderThrough(Player& p, double seconds);

} // namespace bass
