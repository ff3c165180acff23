// The BASS_* calls of the native player: handles, argument checks, settings and the sync queue.
// What feeds the output lives beside it: the real-time outputs in BassRealTime.cpp, the offline
// render in BassOffline.cpp.

#include "platform/bass/Bass.h"

#include "platform/bass/BassArguments.h"
#include "platform/bass/BassPlayer.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

using namespace bass;

namespace bass {

Player& player() {
    static Player instance;
    return instance;
}

} // namespace bass

namespace {

constexpr int levelWindowMilliseconds = 20;

size_t levelWindow(const Player& p) {
    return size_t(p.rate * levelWindowMilliseconds / 1000);
}

void applyVolume(Player& p) {
    if (p.music)
        p.music->setVolume(mixerVolume(p.volume, p.amplify));
}

bool fail(Player& p, std::string message) {
    p.error = std::move(message);
    return false;
}

// Fails with `problem` unless it is empty.
bool accept(Player& p, std::string problem) {
    return problem.empty() || fail(p, std::move(problem));
}

bool isMusic(Player& p, uint32_t handle) {
    if (p.music && handle == p.musicHandle)
        return true;
    return fail(p, "unknown music handle");
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

// Skips the music to the start time, and sets the clocks there. The device's callbacks, which
// take the mutex, wait for the skip (they play silence until playback starts anyway). Caller
// holds the mutex.
void startAtTime(Player& p) {
    p.startFrame = frameAt(p, p.startSeconds);
    p.music->skip(p.startFrame);
    if (p.output == BassOutput::Device)
        p.clock.reset(p.rate, p.deviceFrames);
    else
        p.clock.reset(p.rate);
    p.clock.startAt(p.startSeconds * p.rate);
    p.offlineSeconds = p.startSeconds;
    p.offlineFrames = p.startFrame;
}

} // namespace

bool BASS_Init(int device, uint32_t freq, uint32_t, void*) {
    Player& p = player();
    if (p.initialised)
        return fail(p, "already initialised");
    if (!accept(p, rateProblem(freq)))
        return false;
    p.rate = int(freq);
    p.output = p.requestedOutput;
    if (p.output == BassOutput::Device && device == -2)
        p.output = BassOutput::Silent;
    if (p.output == BassOutput::Device)
        openDevice(p);
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
    if (p.output != BassOutput::Offline)
        startRealTimeOutput(p);
    return true;
}

uint32_t BASS_GetVersion() {
    return version;
}

bool BASS_SetVolume(uint32_t volume) {
    Player& p = player();
    if (!accept(p, volumeProblem(volume)))
        return false;
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
    if (!accept(p, syncProblem(type, proc)))
        return 0;
    HSYNC sync = p.nextHandle++;
    p.music->addSync({sync, type, param, proc, user});
    return sync;
}

bool BASS_MusicSetAmplify(HMUSIC handle, uint32_t amplify) {
    Player& p = player();
    std::lock_guard lock(p.mutex);
    if (!isMusic(p, handle))
        return false;
    if (!accept(p, amplifyProblem(amplify)))
        return false;
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
        startAtTime(p);
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
    return p.music->level(heard, levelWindow(p));
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
    p.startSeconds = 0.0;
    p.startFrame = 0;
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

void BASS_SetStartSeconds(double seconds) {
    player().startSeconds = std::isfinite(seconds) && seconds > 0.0 ? seconds : 0.0;
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

uint32_t BASS_ChannelGetLevelAt(uint32_t handle, double seconds) {
    Player& p = player();
    std::lock_guard lock(p.mutex);
    if (!isMusic(p, handle) || !p.playing)
        return 0;
    renderThrough(p, seconds);
    return p.music->level(frameAt(p, seconds), levelWindow(p));
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
