#include "driver/ShowDriver.h"

#include "core/Random.h"
#include "core/ShowObjects.h"
#include "driver/FrameStats.h"
#include "driver/ModeSearch.h"
#include "driver/MusicLevel.h"
#include "driver/ShowDisplay.h"
#include "driver/ShowMusic.h"
#include "effects/ParticleFlowLayer.h"
#include "platform/bass/Bass.h"
#include "platform/ptc/Error.h"
#include "show/CueScript.h"
#include "show/ShowAssets.h"
#include "show/ShowLayers.h"
#include "timeline/LayerList.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ostream>
#include <stdexcept>
#include <string>

namespace {

constexpr const char* showTitle = "the ceaseless velmora voyage";
// A timeline made beforehand must have been recorded with the show's cues, in their order; its
// syncs take the cues' handles.
void matchCues(MusicTimeline& timeline, const std::vector<TimelineRegistration>& cues) {
    const std::vector<TimelineRegistration>& recorded = timeline.registrations;
    bool same = recorded.size() == cues.size();
    for (std::size_t i = 0; same && i < cues.size(); ++i)
        same = recorded[i].type == cues[i].type && recorded[i].parameter == cues[i].parameter;
    if (!same)
        throw ptc::DynamicError("the music's timeline was made for other cues");
    for (TimelineSync& sync : timeline.syncs) {
        std::size_t index = 0;
        while (index < recorded.size() && recorded[index].handle != sync.handle)
            ++index;
        if (index == recorded.size())
            throw ptc::DynamicError("the music's timeline has a sync of no cue");
        sync.handle = cues[index].handle;
    }
    timeline.registrations = cues;
}

} // namespace

ShowDriver::ShowDriver(ptc::Console& showConsole, const Settings& showSettings)
    : console(showConsole), settings(showSettings) {
    const ptc::Format format32(32, 0xFF0000, 0x00FF00, 0x0000FF);
    const ptc::Format format24(24, 0xFF0000, 0x00FF00, 0x0000FF);
    const ptc::Format format565(16, 0xF800, 0x07E0, 0x001F);
    const ptc::Format format555(16, 0x7C00, 0x03E0, 0x001F);
    const ptc::Format candidates[] = {format32, format24, format565, format555};

    // A show started again in the same process (a test, or a page that plays it once more)
    // draws the same random numbers as the first, and its finale starts from the beginning.
    randomState = initialRandomState;
    flowRandomState = initialFlowRandomState;
    finaleCount = 0;
    ::console = &console;
    std::vector<ptc::Mode> modes = readModeList(console);
    // Zeroed: layers that accumulate in them (glows that fade per frame) start from black, and a
    // show started again in the same process starts as the first did.
    bufferA.reset(new std::uint32_t[workBufferWords]());
    bufferB.reset(new std::uint32_t[workBufferWords]());
    workBufferA = bufferA.get();
    workBufferB = bufferB.get();
    ModeChoice choice = searchMode(modes, candidates, format32);
    centred = choice.centred;
    screen = Bitmap();
    screen.width = 512;
    screen.height = 384;
    console.open(showTitle, choice.width, choice.height, choice.format, 0);
    offscreenSurface = std::make_unique<ptc::Surface>(512, 384, format32);
    offscreen = offscreenSurface.get();
}

ShowDriver::~ShowDriver() {
    shutDown();
}

void ShowDriver::useTimeline(MusicTimeline timeline) {
    // Its levels are those of its frames: the show runs at its rate.
    settings.fps = int(timeline.fps);
    musicTimeline = std::move(timeline);
}

void ShowDriver::startUp(const std::function<void()>& afterGauge) {
    cueDispatch = std::make_unique<CueDispatch>(settings.trace);
    registerCues(*cueDispatch);
    if (musicTimeline)
        matchCues(*musicTimeline, cueDispatch->registrations());
    else
        startRecordingTimeline();

    if (!BASS_Init(-1, sampleRate, 0, nullptr) && !BASS_Init(-2, sampleRate, 0, nullptr))
        throw ptc::DynamicError("Can't initialize device");
    playerStarted = true;
    if (!BASS_Start())
        throw ptc::DynamicError("Player failed.. too bad.");

    ProgressDisplay progress = [&afterGauge](double fraction) {
        showProgress(fraction);
        if (afterGauge)
            afterGauge();
    };
    runLoadingPhase(progress);
    if (BASS_GetVersion() != 0x80000)
        throw ptc::DynamicError("BASS version 0.8 was not loaded");
    runConstructionPhase(progress);

    music = openShowMusic(showModulePath());
    progress(1.0);

    cueCursor = std::make_unique<TimelineCursor>(timeline());
    // The loading screen's last picture stays up while the show draws its way to the jump.
    auto jumpStart = std::chrono::steady_clock::now();
    startFrame = jumpTarget();
    advanceTo(startFrame);
    if (startFrame > 0)
        jumpDuration = std::chrono::duration<double>(std::chrono::steady_clock::now() - jumpStart).count();
}

void ShowDriver::recordMusicWith(MusicRecorder musicRecorder) {
    recorder = std::move(musicRecorder);
}

// The recording runs on a thread of its own while the pictures load; the first frame waits for
// it if it is not done by then.
void ShowDriver::startRecordingTimeline() {
    if (!recorder)
        throw ptc::DynamicError("the show's music has no timeline and no recorder to make one");
    recording = std::async(std::launch::async, recorder, cueDispatch->registrations(), settings.fps);
}

CueDispatch& ShowDriver::cues() {
    if (!cueDispatch)
        throw std::logic_error("the show's cues were asked for before its start-up");
    return *cueDispatch;
}

const MusicTimeline& ShowDriver::timeline() {
    if (!musicTimeline) {
        RecordedMusic run = recording.get();
        orderStarts = std::move(run.orderStarts);
        musicTimeline = std::move(run.timeline);
    }
    return *musicTimeline;
}

long ShowDriver::jumpTarget() {
    if (settings.startSeconds)
        return frameAtOrAfter(*settings.startSeconds);
    if (settings.startOrder <= 0)
        return 0;
    timeline();
    std::size_t orders = orderStarts.size();
    if (std::size_t(settings.startOrder) >= orders)
        throw ptc::DynamicError("--start " + std::to_string(settings.startOrder) + ": the music has " +
                                std::to_string(orders) + " orders (0 to " + std::to_string(orders - 1) + ")");
    if (orderStarts[std::size_t(settings.startOrder)] == noFrame)
        throw ptc::DynamicError("--start " + std::to_string(settings.startOrder) + ": the music never plays that order");
    return frameAtOrAfter(double(orderStarts[std::size_t(settings.startOrder)]) / sampleRate);
}

long ShowDriver::frameAtOrAfter(double seconds) const {
    return static_cast<long>(std::ceil(seconds * settings.fps - 1e-9));
}

void ShowDriver::showGauge(double fraction) {
    std::uint32_t savedRandom = randomState;
    if (loadingGauge == nullptr)
        loadingGauge = newLoadingGauge();
    showProgress(fraction);
    randomState = savedRandom;
}

void ShowDriver::play() {
    // After a jump the music starts at the jump's frame, sample for sample as a run from the start
    // plays it there, and the player's clock reads that frame's time.
    if (startFrame > 0)
        BASS_SetStartSeconds(frameTime(startFrame));
    BASS_MusicPlay(music);
}

double ShowDriver::passSeconds() const {
    return BASS_MusicGetPassSeconds(music);
}

void ShowDriver::drawFrame(long frame, FrameStats* timing) {
    if (frame != nextFrame) {
        drawnInOrder = false;
        nextFrame = frame;
    }
    keepCheckpointIfDue();
    drawMusicFrame(frameTime(frame), timing, true);
    nextFrame = frame + 1;
    if (drawnInOrder)
        preparedThrough = std::max(preparedThrough, nextFrame);
}

void ShowDriver::advanceTo(long frame) {
    for (; nextFrame < frame; ++nextFrame) {
        keepCheckpointIfDue();
        drawMusicFrame(frameTime(nextFrame), nullptr, false);
    }
    if (drawnInOrder)
        preparedThrough = std::max(preparedThrough, nextFrame);
}

void ShowDriver::keepCheckpoints(long spacing, CheckpointPacking packing) {
    checkpointSpacing = spacing;
    checkpointPacking = std::move(packing);
}

void ShowDriver::keepCheckpointIfDue() {
    if (checkpointSpacing <= 0 || !drawnInOrder || keptCheckpoints.count(nextFrame) != 0)
        return;
    if (!keptCheckpoints.empty() && nextFrame % checkpointSpacing != 0)
        return;
    const MusicTimeline& music = timeline();
    if (!keptCheckpoints.empty() && frameTime(nextFrame) >= double(music.loopStart) / music.rate)
        return; // seeking covers the first pass
    Checkpoint state = checkpoint();
    keepPackedCheckpoint(nextFrame, checkpointPacking.pack ? checkpointPacking.pack(state.bytes) : std::move(state.bytes));
}

void ShowDriver::keepPackedCheckpoint(long frame, std::vector<std::uint8_t> packed) {
    auto [where, added] = keptCheckpoints.try_emplace(frame, std::move(packed));
    if (added)
        keptBytes += where->second.size();
}

void ShowDriver::stopTracing() {
    settings.trace = nullptr;
    if (cueDispatch)
        cueDispatch->setTrace(nullptr);
}

void ShowDriver::seek(long frame) {
    auto after = keptCheckpoints.upper_bound(frame);
    bool drawOn = drawnInOrder && nextFrame <= frame;
    if (after != keptCheckpoints.begin()) {
        const auto& [checkpointFrame, packed] = *std::prev(after);
        if (!drawOn || checkpointFrame > nextFrame) {
            Checkpoint kept{checkpointFrame, checkpointPacking.unpack ? checkpointPacking.unpack(packed) : packed};
            restore(kept);
            drawnInOrder = true;
        }
    } else if (!drawOn) {
        throw ptc::DynamicError("no checkpoint at or before frame " + std::to_string(frame));
    }
    advanceTo(frame);
}

void ShowDriver::pauseMusic() {
    BASS_ChannelStop(music);
}

void ShowDriver::resumeMusic() {
    BASS_MusicPlay(music);
}

// Within the first pass the player starts at the order that plays at that time and renders only
// the rest of it, in milliseconds rather than the whole way from the start: notes held over from
// the order before are not heard. Past it, the music is rendered from the start.
void ShowDriver::restartMusicAt(double seconds) {
    const MusicTimeline& run = timeline();
    std::uint64_t target = std::uint64_t(std::max(0.0, seconds) * sampleRate);
    int order = 0;
    std::uint64_t orderFrame = 0;
    if (target < run.loopStart)
        for (std::size_t i = 0; i < orderStarts.size(); ++i)
            if (orderStarts[i] != noFrame && orderStarts[i] <= target && orderStarts[i] >= orderFrame) {
                order = int(i);
                orderFrame = orderStarts[i];
            }
    BASS_ChannelStop(music);
    BASS_MusicFree(music);
    BASS_SetStartOrder(order);
    BASS_SetStartSeconds(double(target - orderFrame) / sampleRate);
    music = openShowMusic(showModulePath());
    BASS_MusicPlay(music);
}

void ShowDriver::drawAt(double seconds, FrameStats* timing) {
    drawMusicFrame(seconds, timing, true);
}

// The music level at `seconds`, the cues stamped up to it, the stack, and the picture shown.
void ShowDriver::drawMusicFrame(double seconds, FrameStats* timing, bool present) {
    musicLevel = levelSum(cueCursor->levelAt(seconds));
    cueCursor->runDue(seconds, [this](const TimelineSync& sync, std::uint64_t) { cueDispatch->runSync(sync.handle); });
    drawStack(seconds, timing);
    if (present)
        presentOffscreen();
}

// Draws the layer stack into the off-screen surface; `timing` takes the layers' times.
void ShowDriver::drawStack(double seconds, FrameStats* timing) {
    screen.pixels = static_cast<std::uint32_t*>(offscreen->lock());
    screen.width = offscreen->width();
    screen.height = offscreen->height();
    // The warp is the one layer that edits the list while it draws; the trace shows its work.
    std::string stackBefore = settings.trace ? describeStack(*layerList) : std::string();
    if (timing)
        renderAllTimed(*layerList, screen, seconds, *timing);
    else
        layerList->renderAll(screen, seconds);
    if (settings.trace) {
        std::string stackAfter = describeStack(*layerList);
        if (stackAfter != stackBefore)
            *settings.trace << "warp | " << stackAfter << "\n" << std::flush;
    }
    offscreen->unlock();
}

Checkpoint ShowDriver::checkpoint() {
    Checkpoint saved;
    StateArchive archive = StateArchive::saving(saved.bytes);
    archiveShowState(archive, *cueCursor, nextFrame);
    saved.nextFrame = nextFrame;
    return saved;
}

void ShowDriver::restore(const Checkpoint& saved) {
    StateArchive archive = StateArchive::restoring(saved.bytes);
    archiveShowState(archive, *cueCursor, nextFrame);
    if (!archive.atEnd())
        throw ptc::DynamicError("checkpoint: longer than the show's state");
}

void ShowDriver::shutDown() {
    if (recording.valid())
        recording.wait();
    if (music != 0)
        BASS_ChannelStop(music);
    music = 0;
    if (playerStarted)
        BASS_Free();
    playerStarted = false;
    cueDispatch.reset();
    if (::console == &console) {
        ::console = nullptr;
        offscreen = nullptr;
        workBufferA = nullptr;
        workBufferB = nullptr;
    }
}
