// The player's state lives behind one mutex, shared by the main thread and the threads that
// feed the output (the device's callback, and the feeder). They render and queue syncs; only
// BASS_RunSyncs, on the caller's thread, runs their actions.
//
// The feeder thread renders in real time for the silent output. Beside a device it watches: when
// the device stops taking audio for longer than `stallLimit`, or the system takes it away, the
// clock goes on on the steady clock from where the sound stopped, the feeder renders in its place,
// and every `reopenPeriod` it tries to open the default device again. A device that opens resumes
// at the show's time. The stopped device is never waited for: its late callbacks get silence.

#include "platform/bass/Bass.h"

#include "platform/bass/AudioClock.h"
#include "platform/bass/AudioDevice.h"
#include "platform/bass/MusicPlayer.h"

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>

namespace {

constexpr uint32_t version = 0x80000;
constexpr int unityAmplify = 50;
constexpr int wantedDeviceFrames = 1024;
constexpr int levelWindowMilliseconds = 20;
// The silent feeder keeps this much audio rendered ahead of the clock, and wakes this often.
constexpr double silentLeadSeconds = 0.05;
constexpr auto silentPeriod = std::chrono::milliseconds(5);
constexpr double renderAheadLimit = 1.0;
// A device that takes nothing for this long has stopped.
constexpr auto stallLimit = std::chrono::milliseconds(250);
constexpr auto reopenPeriod = std::chrono::seconds(1);

struct Player {
    std::mutex mutex;

    BassOutput requestedOutput = BassOutput::Device;
    BassOutput output = BassOutput::Device;
    bool initialised = false;
    bool outputStarted = false;
    int rate = 44100;
    int volume = 100;
    int startOrder = 0;
    std::string error;
    uint32_t nextHandle = 1;

    std::unique_ptr<MusicPlayer> music;
    HMUSIC musicHandle = 0;
    int amplify = unityAmplify;
    bool playing = false;

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

Player& player() {
    static Player instance;
    return instance;
}

// Moves the syncs just reached onto the queue. Caller holds the mutex.
void queueReached(Player& p) {
    p.queue.insert(p.queue.end(), p.reached.begin(), p.reached.end());
    p.reached.clear();
}

void applyVolume(Player& p) {
    if (p.music)
        p.music->setVolume(p.volume * p.amplify / unityAmplify);
}

bool fail(Player& p, std::string message) {
    p.error = std::move(message);
    return false;
}

bool isMusic(Player& p, uint32_t handle) {
    if (p.music && handle == p.musicHandle)
        return true;
    return fail(p, "unknown music handle");
}

// Renders every tick that starts at or before `seconds` and queues its syncs; the output hands
// the frames out later. A real-time output renders at most `renderAheadLimit` past its clock, so a
// time far ahead cannot make it render without end. Caller holds the mutex.
void renderThrough(Player& p, double seconds) {
    if (!p.playing || !p.music || p.output == BassOutput::Offline || !std::isfinite(seconds))
        return;
    seconds = std::min(seconds, p.clock.seconds(AudioClock::Clock::now()) + renderAheadLimit);
    while (double(p.music->renderedFrames()) / p.rate <= seconds)
        p.music->renderTick(p.reached);
    queueReached(p);
}

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
    // The buffer handed over before this one is playing now.
    uint64_t delivered = p.music->readFrames();
    uint64_t heard = delivered > uint64_t(p.deviceFrames) ? delivered - uint64_t(p.deviceFrames) : 0;
    p.clock.report(double(heard), now);
    p.music->read(stream, frames, p.reached);
    queueReached(p);
}

std::unique_ptr<AudioDevice> newDevice(Player& p) {
    return p.deviceFactory ? p.deviceFactory() : makeSdlAudioDevice();
}

// Opens a device that feeds from the player as generation `generation`; null when none opens.
std::unique_ptr<AudioDevice> openDevice(Player& p, uint64_t generation, int& framesPerFill, std::string& error) {
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
    std::unique_ptr<AudioDevice> device = openDevice(p, generation, framesPerFill, ignored);
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

// Stops whatever feeds the output. Caller must not hold the mutex.
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

bool readFilePart(const std::string& path, uint32_t offset, uint32_t length, std::vector<uint8_t>& bytes,
                  std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (offset > bytes.size()) {
        error = "offset past the end of the file";
        return false;
    }
    size_t available = bytes.size() - offset;
    size_t size = length == 0 ? available : std::min<size_t>(length, available);
    bytes = std::vector<uint8_t>(bytes.begin() + offset, bytes.begin() + long(offset + size));
    return true;
}

} // namespace

bool BASS_Init(int device, uint32_t freq, uint32_t, void*) {
    Player& p = player();
    if (p.initialised)
        return fail(p, "already initialised");
    if (freq < 8000 || freq > 48000)
        return fail(p, "unsupported rate " + std::to_string(freq));
    p.rate = int(freq);
    p.output = p.requestedOutput;
    if (p.output == BassOutput::Device && device == -2)
        p.output = BassOutput::Silent;
    if (p.output == BassOutput::Device) {
        std::string error;
        p.deviceStalled = false;
        p.device = openDevice(p, ++p.deviceGeneration, p.deviceFrames, error);
        if (!p.device) {
            p.deviceFrames = wantedDeviceFrames;
            std::fprintf(stderr, "velmora: warning: no audio device (%s); the music plays silently\n",
                         error.c_str());
            p.output = BassOutput::Silent;
        }
    }
    p.initialised = true;
    return true;
}

bool BASS_Start() {
    Player& p = player();
    if (!p.initialised)
        return fail(p, "not initialised");
    if (p.outputStarted)
        return true;
    p.outputStarted = true;
    if (p.output == BassOutput::Device)
        p.device->resume();
    if (p.output != BassOutput::Offline) {
        p.feederQuit = false;
        p.feeder = std::thread(feed);
    }
    return true;
}

uint32_t BASS_GetVersion() {
    return version;
}

bool BASS_SetVolume(uint32_t volume) {
    Player& p = player();
    if (volume > 100)
        return fail(p, "volume above 100");
    std::lock_guard lock(p.mutex);
    p.volume = int(volume);
    applyVolume(p);
    return true;
}

HMUSIC BASS_MusicLoad(bool mem, const void* file, uint32_t offset, uint32_t length, uint32_t) {
    Player& p = player();
    if (!p.initialised)
        return fail(p, "not initialised");
    if (file == nullptr)
        return fail(p, "no module given");
    if (p.music)
        return fail(p, "a music is already loaded");
    auto music = std::make_unique<MusicPlayer>();
    bool loaded;
    if (mem) {
        loaded = music->loadMemory(static_cast<const uint8_t*>(file) + offset, length, p.error);
    } else if (offset == 0 && length == 0) {
        loaded = music->loadFile(static_cast<const char*>(file), p.error);
    } else {
        std::vector<uint8_t> bytes;
        loaded = readFilePart(static_cast<const char*>(file), offset, length, bytes, p.error) &&
                 music->loadMemory(bytes.data(), bytes.size(), p.error);
    }
    if (!loaded)
        return 0;
    std::lock_guard lock(p.mutex);
    p.music = std::move(music);
    p.musicHandle = p.nextHandle++;
    p.amplify = unityAmplify;
    p.playing = false;
    p.queue.clear();
    p.offlineSeconds = 0.0;
    p.offlineFrames = 0;
    applyVolume(p);
    return p.musicHandle;
}

bool BASS_MusicFree(HMUSIC handle) {
    Player& p = player();
    std::lock_guard lock(p.mutex);
    if (!isMusic(p, handle))
        return false;
    p.music.reset();
    p.musicHandle = 0;
    p.playing = false;
    p.queue.clear();
    return true;
}

HSYNC BASS_ChannelSetSync(uint32_t handle, uint32_t type, uint32_t param, SYNCPROC proc, uint32_t user) {
    Player& p = player();
    std::lock_guard lock(p.mutex);
    if (!isMusic(p, handle))
        return 0;
    if (type != BASS_SYNC_POS && type != BASS_SYNC_INST)
        return fail(p, "unknown sync type " + std::to_string(type));
    if (proc == nullptr)
        return fail(p, "no sync action");
    HSYNC sync = p.nextHandle++;
    p.music->addSync({sync, type, param, proc, user});
    return sync;
}

bool BASS_MusicSetAmplify(HMUSIC handle, uint32_t amplify) {
    Player& p = player();
    std::lock_guard lock(p.mutex);
    if (!isMusic(p, handle))
        return false;
    if (amplify > 100)
        return fail(p, "amplification above 100");
    p.amplify = int(amplify);
    applyVolume(p);
    return true;
}

bool BASS_MusicSetPositionScaler(HMUSIC handle, uint32_t) {
    Player& p = player();
    std::lock_guard lock(p.mutex);
    return isMusic(p, handle);
}

bool BASS_MusicPlay(HMUSIC handle) {
    Player& p = player();
    std::lock_guard lock(p.mutex);
    if (!isMusic(p, handle))
        return false;
    if (p.playing)
        return true;
    auto now = AudioClock::Clock::now();
    if (!p.music->started()) {
        if (!p.music->start(p.rate, p.startOrder, p.error))
            return false;
        if (p.output == BassOutput::Device)
            p.clock.reset(p.rate, p.deviceFrames);
        else
            p.clock.reset(p.rate);
    }
    // The silent clock runs from here; the device's runs from its callbacks.
    if (p.output == BassOutput::Silent || p.deviceStalled)
        p.clock.report(p.clock.frames(now), now);
    p.lastFill = now;
    p.playing = true;
    return true;
}

uint32_t BASS_ChannelGetLevel(uint32_t handle) {
    Player& p = player();
    std::lock_guard lock(p.mutex);
    if (!isMusic(p, handle) || !p.playing)
        return 0;
    uint64_t heard = p.output == BassOutput::Offline ? p.offlineFrames
                                                     : uint64_t(p.clock.frames(AudioClock::Clock::now()));
    return p.music->level(heard, size_t(p.rate * levelWindowMilliseconds / 1000));
}

bool BASS_ChannelStop(uint32_t handle) {
    Player& p = player();
    std::lock_guard lock(p.mutex);
    if (!isMusic(p, handle))
        return false;
    if (p.playing && p.output != BassOutput::Offline)
        p.clock.hold(AudioClock::Clock::now());
    p.playing = false;
    return true;
}

bool BASS_Free() {
    Player& p = player();
    if (!p.initialised)
        return fail(p, "not initialised");
    closeOutput(p);
    std::lock_guard lock(p.mutex);
    p.music.reset();
    p.musicHandle = 0;
    p.playing = false;
    p.queue.clear();
    p.reached.clear();
    p.initialised = false;
    p.outputStarted = false;
    p.requestedOutput = BassOutput::Device;
    p.startOrder = 0;
    p.volume = 100;
    p.offlineSeconds = 0.0;
    p.offlineFrames = 0;
    p.deviceFactory = nullptr;
    p.deviceStalled = false;
    return true;
}

void BASS_SetOutput(BassOutput output) {
    player().requestedOutput = output;
}

BassOutput BASS_GetOutput() {
    Player& p = player();
    return p.initialised ? p.output : p.requestedOutput;
}

void BASS_SetDeviceFactory(std::function<std::unique_ptr<AudioDevice>()> factory) {
    player().deviceFactory = std::move(factory);
}

void BASS_SetStartOrder(int order) {
    player().startOrder = order < 0 ? 0 : order;
}

double BASS_MusicGetPassSeconds(HMUSIC handle) {
    Player& p = player();
    std::lock_guard lock(p.mutex);
    if (!p.music || handle != p.musicHandle)
        return 0.0;
    return p.music->passSeconds();
}

int BASS_MusicGetOrderCount(HMUSIC handle) {
    Player& p = player();
    std::lock_guard lock(p.mutex);
    if (!p.music || handle != p.musicHandle)
        return 0;
    return p.music->orderCount();
}

std::string BASS_GetErrorText() {
    return player().error;
}

double BASS_GetSeconds() {
    Player& p = player();
    std::lock_guard lock(p.mutex);
    if (!p.music || !p.music->started())
        return 0.0;
    if (p.output == BassOutput::Offline)
        return p.offlineSeconds;
    return p.clock.seconds(AudioClock::Clock::now());
}

size_t BASS_RenderOffline(double seconds, std::vector<int16_t>& samples) {
    Player& p = player();
    std::lock_guard lock(p.mutex);
    if (p.output != BassOutput::Offline || !p.music || !p.playing) {
        p.error = "no music playing offline";
        return 0;
    }
    if (!std::isfinite(seconds)) {
        p.error = "time is not finite";
        return 0;
    }
    p.offlineSeconds = std::max(p.offlineSeconds, seconds);
    // Every tick that starts at or before `seconds` is rendered, so its syncs are queued.
    while (double(p.music->renderedFrames()) / p.rate <= seconds)
        p.music->renderTick(p.reached);
    uint64_t target = seconds > 0.0 ? uint64_t(std::llround(seconds * p.rate)) : 0;
    size_t frames = 0;
    if (target > p.music->readFrames()) {
        frames = size_t(target - p.music->readFrames());
        size_t start = samples.size();
        samples.resize(start + frames * 2);
        p.music->read(samples.data() + start, frames, p.reached);
    }
    p.offlineFrames = std::max(p.offlineFrames, target);
    queueReached(p);
    return frames;
}

uint32_t BASS_ChannelGetLevelAt(uint32_t handle, double seconds) {
    Player& p = player();
    std::lock_guard lock(p.mutex);
    if (!isMusic(p, handle) || !p.playing)
        return 0;
    renderThrough(p, seconds);
    uint64_t end = seconds > 0.0 ? uint64_t(std::llround(seconds * p.rate)) : 0;
    return p.music->level(end, size_t(p.rate * levelWindowMilliseconds / 1000));
}

int BASS_RunSyncs(double seconds) {
    Player& p = player();
    std::vector<ReachedSync> due;
    HMUSIC music;
    {
        std::lock_guard lock(p.mutex);
        renderThrough(p, seconds);
        while (!p.queue.empty() && double(p.queue.front().frame) / p.rate <= seconds) {
            due.push_back(p.queue.front());
            p.queue.pop_front();
        }
        music = p.musicHandle;
    }
    for (const ReachedSync& sync : due)
        sync.proc(sync.handle, music, sync.data, sync.user);
    return int(due.size());
}
