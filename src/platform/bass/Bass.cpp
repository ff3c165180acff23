// The player's state lives behind one mutex, shared by the main thread and the thread that
// feeds the output (SDL's audio callback or the silent feeder). That thread renders and queues
// syncs; only BASS_RunSyncs, on the caller's thread, runs their actions.

#include "platform/bass/Bass.h"

#include "platform/bass/AudioClock.h"
#include "platform/bass/MusicPlayer.h"

#include <SDL.h>

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

    SDL_AudioDeviceID device = 0;
    int deviceFrames = wantedDeviceFrames; // frames per device callback
    std::thread feeder;
    std::condition_variable feederWake;
    bool feederQuit = false;
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

void deviceCallback(void*, Uint8* stream, int bytes) {
    Player& p = player();
    size_t frames = size_t(bytes) / 4;
    std::lock_guard lock(p.mutex);
    if (!p.playing || !p.music) {
        std::memset(stream, 0, size_t(bytes));
        return;
    }
    // The buffer handed over before this one is playing now.
    uint64_t delivered = p.music->readFrames();
    uint64_t heard = delivered > uint64_t(p.deviceFrames) ? delivered - uint64_t(p.deviceFrames) : 0;
    p.clock.report(double(heard), AudioClock::Clock::now());
    p.music->read(reinterpret_cast<int16_t*>(stream), frames, p.reached);
    queueReached(p);
}

void feedSilently() {
    Player& p = player();
    std::unique_lock lock(p.mutex);
    while (!p.feederQuit) {
        if (p.playing && p.music) {
            double heard = p.clock.frames(AudioClock::Clock::now());
            uint64_t target = uint64_t(heard + silentLeadSeconds * p.rate);
            uint64_t done = p.music->readFrames();
            if (target > done)
                p.music->read(nullptr, size_t(target - done), p.reached);
            queueReached(p);
        }
        p.feederWake.wait_for(lock, silentPeriod);
    }
}

bool openDevice(Player& p) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    SDL_AudioSpec wanted{};
    wanted.freq = p.rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = wantedDeviceFrames;
    wanted.callback = deviceCallback;
    SDL_AudioSpec obtained{};
    p.device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (p.device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    p.deviceFrames = obtained.samples > 0 ? obtained.samples : wantedDeviceFrames;
    return true;
}

// Stops whatever feeds the output. Caller must not hold the mutex.
void closeOutput(Player& p) {
    if (p.device != 0) {
        SDL_CloseAudioDevice(p.device);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        p.device = 0;
    }
    if (p.feeder.joinable()) {
        {
            std::lock_guard lock(p.mutex);
            p.feederQuit = true;
        }
        p.feederWake.notify_all();
        p.feeder.join();
    }
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
    if (p.output == BassOutput::Device && !openDevice(p)) {
        std::fprintf(stderr, "velmora: warning: no audio device (%s); the music plays silently\n",
                     SDL_GetError());
        p.output = BassOutput::Silent;
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
        SDL_PauseAudioDevice(p.device, 0);
    if (p.output == BassOutput::Silent) {
        p.feederQuit = false;
        p.feeder = std::thread(feedSilently);
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
    if (p.output == BassOutput::Silent)
        p.clock.report(p.clock.frames(now), now);
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
    return true;
}

void BASS_SetOutput(BassOutput output) {
    player().requestedOutput = output;
}

BassOutput BASS_GetOutput() {
    Player& p = player();
    return p.initialised ? p.output : p.requestedOutput;
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

int BASS_RunSyncs(double seconds) {
    Player& p = player();
    std::vector<ReachedSync> due;
    HMUSIC music;
    {
        std::lock_guard lock(p.mutex);
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
