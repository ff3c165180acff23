// The real-time outputs: the sound device, and the feeder thread.
//
// The feeder thread renders in real time for the silent output. Beside a device it watches: when
// the device stops taking audio for longer than `stallLimit`, or the system takes it away, the
// clock goes on on the steady clock from where the sound stopped, the feeder renders in its place,
// and every `reopenPeriod` it tries to open the default device again. A device that opens resumes
// at the show's time. The stopped device is never waited for: its late callbacks get silence.

#include "platform/bass/BassPlayer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace bass {
namespace {

// The silent feeder keeps this much audio rendered ahead of the clock, and wakes this often.
constexpr double silentLeadSeconds = 0.05;
constexpr auto silentPeriod = std::chrono::milliseconds(5);
constexpr double renderAheadLimit = 1.0;
// A device that takes nothing for this long has stopped.
constexpr auto stallLimit = std::chrono::milliseconds(250);
constexpr auto reopenPeriod = std::chrono::seconds(1);

// The callback of the device of `generation`; a device that was given up gets silence.
void fillFromDevice(uint64_t generation, int16_t* stream, size_t frames) {
    Player& p = player();
    std::lock_guard lock(p.mutex);
    if (generation != p.deviceGeneration) {
        std::memset(stream, 0, frames * 4);
        return;
    }
    auto now = AudioClock::Clock::now();
    p.lastFill = now;
    if (!p.playing || !p.music) {
        std::memset(stream, 0, frames * 4);
        return;
    }
    // The buffer handed over before this one is playing now; before it, the start.
    uint64_t delivered = p.music->readFrames();
    uint64_t heard = delivered > p.startFrame + uint64_t(p.deviceFrames) ? delivered - uint64_t(p.deviceFrames)
                                                                          : p.startFrame;
    p.clock.report(double(heard), now);
    p.music->read(stream, frames, p.reached);
    queueReached(p);
}

std::unique_ptr<AudioDevice> newDevice(Player& p) {
    return p.deviceFactory ? p.deviceFactory() : makeSdlAudioDevice();
}

// Opens a device that feeds from the player as generation `generation`; null when none opens.
std::unique_ptr<AudioDevice> openDeviceOf(Player& p, uint64_t generation, int& framesPerFill, std::string& error) {
    std::unique_ptr<AudioDevice> device = newDevice(p);
    if (!device)
        return nullptr;
    framesPerFill = device->open(
        p.rate, wantedDeviceFrames,
        [generation](int16_t* stream, size_t frames) { fillFromDevice(generation, stream, frames); }, error);
    if (framesPerFill <= 0)
        return nullptr;
    return device;
}

// Renders up to a little past the clock, the output's own work when no device takes the sound.
// Caller holds the mutex.
void feedSilently(Player& p, AudioClock::Clock::time_point now) {
    if (!p.playing || !p.music)
        return;
    double heard = p.clock.frames(now);
    uint64_t target = uint64_t(heard + silentLeadSeconds * p.rate);
    uint64_t done = p.music->readFrames();
    if (target > done)
        p.music->read(nullptr, size_t(target - done), p.reached);
    queueReached(p);
}

bool deviceStopped(Player& p, AudioClock::Clock::time_point now) {
    if (!p.device || p.deviceStalled || !p.playing || !p.music)
        return false;
    return now - p.lastFill > stallLimit || p.device->lost();
}

// The device stopped: the show goes on on the steady clock. Caller holds the mutex.
void giveUpDevice(Player& p, AudioClock::Clock::time_point now) {
    p.clock.runFreely(now);
    p.deviceStalled = true;
    ++p.deviceGeneration;
    p.stoppedDevices.push_back(std::move(p.device));
    p.nextReopen = now + reopenPeriod;
    std::fprintf(stderr, "velmora: the sound device stopped; continuing without sound\n");
}

// Tries the default device again; one that opens takes over at the show's time. Called with the
// mutex held through `lock`, released while the device opens (its callback takes the mutex).
void tryReopen(Player& p, std::unique_lock<std::mutex>& lock, AudioClock::Clock::time_point now) {
    p.nextReopen = now + reopenPeriod;
    uint64_t generation = p.deviceGeneration + 1;
    lock.unlock();
    int framesPerFill = 0;
    std::string ignored;
    std::unique_ptr<AudioDevice> device = openDeviceOf(p, generation, framesPerFill, ignored);
    lock.lock();
    if (!device)
        return;
    if (p.feederQuit || !p.deviceStalled) {
        lock.unlock();
        device.reset();
        lock.lock();
        return;
    }
    auto opened = AudioClock::Clock::now();
    p.deviceGeneration = generation;
    p.deviceFrames = framesPerFill;
    p.deviceStalled = false;
    p.lastFill = opened;
    // The steady clock carries on until the device reports, at most one buffer ahead.
    p.clock.runFreely(opened);
    p.clock.limitLead(framesPerFill);
    p.device = std::move(device);
    // Not under the mutex: starting a device may wait for its thread, which takes the mutex in
    // its callback. Only this thread replaces the device, and BASS_Free stops this thread first.
    AudioDevice* resumed = p.device.get();
    lock.unlock();
    resumed->resume();
    lock.lock();
}

// The feeder thread: the silent output's renderer, or the device's watch and stand-in.
void feed() {
    Player& p = player();
    std::unique_lock lock(p.mutex);
    while (!p.feederQuit) {
        auto now = AudioClock::Clock::now();
        if (p.output == BassOutput::Device && deviceStopped(p, now))
            giveUpDevice(p, now);
        if (p.output == BassOutput::Silent || p.deviceStalled)
            feedSilently(p, now);
        if (p.deviceStalled && now >= p.nextReopen)
            tryReopen(p, lock, now);
        p.feederWake.wait_for(lock, silentPeriod);
    }
}

} // namespace

void openDevice(Player& p) {
    std::string error;
    p.deviceStalled = false;
    p.device = openDeviceOf(p, ++p.deviceGeneration, p.deviceFrames, error);
    if (!p.device) {
        p.deviceFrames = wantedDeviceFrames;
        std::fprintf(stderr, "velmora: warning: no audio device (%s); the music plays silently\n", error.c_str());
        p.output = BassOutput::Silent;
    }
}

void startRealTimeOutput(Player& p) {
    if (p.output == BassOutput::Device)
        p.device->resume();
    p.feederQuit = false;
    p.feeder = std::thread(feed);
}

void closeOutput(Player& p) {
    if (p.feeder.joinable()) {
        {
            std::lock_guard lock(p.mutex);
            p.feederQuit = true;
        }
        p.feederWake.notify_all();
        p.feeder.join();
    }
    // Closing waits for a callback in progress, which takes the mutex.
    p.device.reset();
    p.stoppedDevices.clear();
}

Player::~Player() {
    closeOutput(*this);
}

// A time far ahead cannot make a real-time output render without end: it renders at most
// `renderAheadLimit` past its clock; the device hands the frames out later.
void renderThrough(Player& p, double seconds) {
    if (!p.playing || !p.music || p.output == BassOutput::Offline || !std::isfinite(seconds))
        return;
    renderTicksThrough(p, std::min(seconds, p.clock.seconds(AudioClock::Clock::now()) + renderAheadLimit));
}

} // namespace bass
