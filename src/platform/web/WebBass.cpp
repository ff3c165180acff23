// The player's calls in the browser. There is no module player here: the music is the prepared
// audio the page plays with Web Audio, and the syncs and levels come from the prepared timeline
// (velmora-webprep ran the real player offline). Handles are given out as the native player gives
// them, music first, then the syncs in registration order, and each registration is checked
// against the one the timeline was made with.

#include "platform/bass/Bass.h"
#include "platform/web/WebBass.h"

#include <emscripten.h>

#include <memory>
#include <optional>

// The page's side: Module.onMusicPlay/onMusicStop start and stop the audio, Module.musicSeconds
// tells how much of it has been heard.
EM_JS(void, pagePlayMusic, (), {
    if (Module.onMusicPlay)
        Module.onMusicPlay();
});
EM_JS(void, pageStopMusic, (), {
    if (Module.onMusicStop)
        Module.onMusicStop();
});
EM_JS(double, pageMusicSeconds, (), { return Module.musicSeconds ? Module.musicSeconds() : 0; });

namespace {

constexpr uint32_t version = 0x80000;

struct Registered {
    SYNCPROC proc;
    uint32_t user;
};

struct WebPlayer {
    std::optional<Timeline> timeline;
    std::unique_ptr<TimelineCursor> cursor;
    bool initialised = false;
    HMUSIC music = 0;
    uint32_t nextHandle = 1;
    std::vector<Registered> syncs; // by registration index
    bool playing = false;
    std::string error;
};

WebPlayer& player() {
    static WebPlayer instance;
    return instance;
}

bool fail(const std::string& why) {
    player().error = why;
    return false;
}

bool isMusic(uint32_t handle) {
    return handle != 0 && handle == player().music;
}

} // namespace

void webBassUseTimeline(Timeline timeline) {
    WebPlayer& p = player();
    p.cursor.reset();
    p.timeline = std::move(timeline);
}

bool BASS_Init(int, uint32_t freq, uint32_t, void*) {
    WebPlayer& p = player();
    if (p.initialised)
        return fail("already initialised");
    if (freq < 8000 || freq > 48000)
        return fail("unsupported rate");
    p.initialised = true;
    return true;
}

bool BASS_Start() {
    return player().initialised || fail("not initialised");
}

uint32_t BASS_GetVersion() {
    return version;
}

bool BASS_SetVolume(uint32_t volume) {
    return volume <= 100 || fail("volume out of range");
}

HMUSIC BASS_MusicLoad(bool, const void*, uint32_t, uint32_t, uint32_t) {
    WebPlayer& p = player();
    if (!p.initialised)
        return fail("not initialised"), 0;
    if (!p.timeline)
        return fail("no prepared timeline for the music"), 0;
    p.music = p.nextHandle++;
    p.syncs.clear();
    p.cursor = std::make_unique<TimelineCursor>(*p.timeline);
    return p.music;
}

bool BASS_MusicFree(HMUSIC handle) {
    WebPlayer& p = player();
    if (!isMusic(handle))
        return fail("not a music");
    BASS_ChannelStop(handle);
    p.music = 0;
    p.syncs.clear();
    return true;
}

HSYNC BASS_ChannelSetSync(uint32_t handle, uint32_t type, uint32_t param, SYNCPROC proc, uint32_t user) {
    WebPlayer& p = player();
    if (!isMusic(handle) || proc == nullptr)
        return fail("not a music"), 0;
    std::size_t index = p.syncs.size();
    HSYNC sync = p.nextHandle;
    const std::vector<TimelineRegistration>& made = p.timeline->registrations;
    if (index >= made.size() || !(made[index] == TimelineRegistration{sync, type, param}))
        return fail("the prepared timeline was made for other cues; run make web again"), 0;
    ++p.nextHandle;
    p.syncs.push_back({proc, user});
    return sync;
}

bool BASS_MusicSetAmplify(HMUSIC handle, uint32_t amplify) {
    return (isMusic(handle) && amplify <= 100) || fail("bad amplification");
}

bool BASS_MusicSetPositionScaler(HMUSIC handle, uint32_t) {
    return isMusic(handle) || fail("not a music");
}

bool BASS_MusicPlay(HMUSIC handle) {
    WebPlayer& p = player();
    if (!isMusic(handle))
        return fail("not a music");
    if (!p.playing)
        pagePlayMusic();
    p.playing = true;
    return true;
}

uint32_t BASS_ChannelGetLevel(uint32_t handle) {
    return BASS_ChannelGetLevelAt(handle, BASS_GetSeconds());
}

uint32_t BASS_ChannelGetLevelAt(uint32_t handle, double seconds) {
    WebPlayer& p = player();
    if (!isMusic(handle) || !p.playing)
        return 0;
    return p.cursor->levelAt(seconds);
}

bool BASS_ChannelStop(uint32_t handle) {
    WebPlayer& p = player();
    if (!isMusic(handle))
        return fail("not a music");
    if (p.playing)
        pageStopMusic();
    p.playing = false;
    return true;
}

bool BASS_Free() {
    WebPlayer& p = player();
    if (!p.initialised)
        return fail("not initialised");
    if (p.playing)
        pageStopMusic();
    p.playing = false;
    p.music = 0;
    p.syncs.clear();
    p.cursor.reset();
    p.initialised = false;
    return true;
}

void BASS_SetOutput(BassOutput) {}

BassOutput BASS_GetOutput() {
    return BassOutput::Device;
}

// Every run of the page starts at the beginning: the timeline is prepared from order 0.
void BASS_SetStartOrder(int) {}

std::string BASS_GetErrorText() {
    return player().error;
}

double BASS_MusicGetPassSeconds(HMUSIC handle) {
    WebPlayer& p = player();
    if (!isMusic(handle))
        return 0.0;
    return double(p.timeline->loopStart) / p.timeline->rate;
}

// The page plays a timeline of syncs, not the module: its order list is not known here.
int BASS_MusicGetOrderCount(HMUSIC) {
    return 0;
}

double BASS_GetSeconds() {
    return player().playing ? pageMusicSeconds() : 0.0;
}

size_t BASS_RenderOffline(double, std::vector<int16_t>&) {
    fail("no offline output in the browser");
    return 0;
}

int BASS_RunSyncs(double seconds) {
    WebPlayer& p = player();
    if (!p.playing || !p.cursor)
        return 0;
    // Handles were checked at registration, so the index is the handle's distance from the first.
    HMUSIC music = p.music;
    std::vector<std::pair<TimelineSync, Registered>> due;
    p.cursor->runDue(seconds, [&](const TimelineSync& sync, std::uint64_t) {
        std::size_t index = sync.handle - music - 1;
        if (index < p.syncs.size())
            due.push_back({sync, p.syncs[index]});
    });
    for (const auto& [sync, registered] : due)
        registered.proc(sync.handle, music, sync.data, registered.user);
    return int(due.size());
}
