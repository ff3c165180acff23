#include "app/Show.h"

#include "app/CheckpointCompression.h"
#include "app/DataLocation.h"
#include "app/FramePacer.h"
#include "app/Interruption.h"
#include "app/ProgressLine.h"
#include "app/ShowControls.h"
#include "app/ShowMusicRecording.h"
#include "app/SoundAhead.h"
#include "capture/OfflineOutput.h"
#include "core/BandPool.h"
#include "core/ShowObjects.h"
#include "driver/FrameStats.h"
#include "driver/ShowDisplay.h"
#include "driver/ShowDriver.h"
#include "effects/NoiseLayer.h"
#include "effects/StaticAhead.h"
#include "platform/bass/Bass.h"
#include "platform/ptc/Error.h"
#include "platform/ptc/HeadlessBackend.h"
#include "platform/ptc/Timer.h"
#include "platform/ptc/window/WindowBackend.h"
#include "show/ShowLayers.h"
#include "timeline/LayerList.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

namespace {

// Screens of static the drawing threads keep ready (0.2 MB each).
constexpr int staticFramesAhead = 8;

// Seconds of sound the drawing threads may render ahead (9 MB at 44.1 kHz, whatever the frame rate).
constexpr int soundSecondsAhead = 50;

// The first frame whose time n / fps is at or after `seconds`.
long frameAtOrAfter(double seconds, int fps) {
    return static_cast<long>(std::ceil(seconds * fps - 1e-9));
}

// The frame after an offline run's last, for a run that starts at `firstFrame`: --frames or
// --seconds from there, up to the last snapshot, or else to the end of one pass of the music
// (`passSeconds`).
long offlineEndFrame(const ShowOptions& options, double passSeconds, long firstFrame) {
    if (options.frames)
        return firstFrame + *options.frames;
    if (options.seconds)
        return firstFrame + std::max(1L, frameAtOrAfter(*options.seconds, options.fps));
    if (!options.snapshotTimes.empty()) {
        double last = *std::max_element(options.snapshotTimes.begin(), options.snapshotTimes.end());
        return std::max(firstFrame + 1, frameAtOrAfter(last, options.fps) + 1);
    }
    if (passSeconds > 0.0)
        return std::max(firstFrame + 1, frameAtOrAfter(passSeconds, options.fps));
    throw ptc::DynamicError("the music's length is unknown: give --seconds or --frames");
}

// Paths the user gave are taken from where velmora was started, before it moves to --data.
ShowOptions withAbsolutePaths(ShowOptions options) {
    namespace fs = std::filesystem;
    if (!options.recordFile.empty())
        options.recordFile = fs::absolute(options.recordFile).string();
    if (!options.pngDirectory.empty())
        options.pngDirectory = fs::absolute(options.pngDirectory).string();
    return options;
}

OfflineOutputSettings outputSettings(const ShowOptions& options) {
    OfflineOutputSettings settings;
    settings.recordFile = options.recordFile;
    settings.pngDirectory = options.pngDirectory;
    for (double time : options.snapshotTimes)
        settings.snapshotFrames.insert(frameAtOrAfter(time, options.fps));
    settings.fps = options.fps;
    settings.sampleRate = ShowDriver::sampleRate;
    settings.recordScale = options.recordScale;
    return settings;
}

// Half a frame of lead when presents wait for a display refreshing at the show rate (see
// FramePacer); none otherwise.
double vsyncLead(const ptc::WindowBackend* window, int fps) {
    if (window == nullptr || !window->presentsWithVsync())
        return 0.0;
    int refresh = window->refreshRate();
    return std::abs(refresh - fps) <= 1 ? 0.5 / fps : 0.0;
}

// The noise layer's static rendered ahead by the drawing threads, for as long as this lives.
class NoiseStaticAhead {
public:
    NoiseStaticAhead(NoiseLayer& layer, BandPool& pool, int frames) : layer(layer), ahead(pool, frames) {
        layer.renderAheadWith(&ahead);
    }
    ~NoiseStaticAhead() { layer.renderAheadWith(nullptr); }
    NoiseStaticAhead(const NoiseStaticAhead&) = delete;
    NoiseStaticAhead& operator=(const NoiseStaticAhead&) = delete;

private:
    NoiseLayer& layer;
    StaticAhead ahead;
};

// The show as an application in three calls, the shape SDL gives its own applications: the
// constructor starts everything (init), each iterate() is one step of the loop the options chose
// (false once the show is over), quit() shuts down. The loops:
//   offline  - frame n at exactly n / fps; the player renders the sound up to that time first;
//   paced    - frame k once the clock reaches k / fps, sleeping in between, dropping late frames
//              (with --controls, keys pause, step and seek: see ShowControls);
//   uncapped - as fast as frames can be drawn, each at the clock's time.
class ShowApp {
public:
    ShowApp(const ShowOptions& options, const ShowHooks& hooks);
    bool iterate();
    // Returns the exit status: 0, or 128 + the signal's number after an interruption.
    int quit();

private:
    std::unique_ptr<ptc::ConsoleBackend> makeBackend();
    void watchCues();
    bool offlineStep();
    double clockSeconds() const;
    bool pacedStep();
    bool controlledStep();
    bool uncappedStep();
    // Draws, presents and accounts for one frame: at the clock's time `clockSeconds` when given,
    // else at the frame's own time.
    void showFrame(long frame, std::optional<double> clockSeconds = {});
    bool windowEnded(long nextFrame, double now) const;
    void measureCheckpoint();

    const ShowOptions& options;
    const ShowHooks& hooks;
    bool offline;
    DataDirectory dataDirectory;
    const ptc::WindowBackend* window = nullptr;
    std::optional<Interruption> interruption;
    std::unique_ptr<OfflineOutput> output;
    std::unique_ptr<ptc::Console> showConsole;
    std::unique_ptr<ShowDriver> driver;
    std::optional<FrameStats> stats;
    FrameStats* timing = nullptr;
    std::size_t measuredScenes = 0;

    long nextFrame = 0;
    long endFrame = -1;
    std::optional<ProgressReport> progress;
    std::vector<std::int16_t> samples;
    std::optional<FramePacer> pacer;
    PacedClock clock{BASS_GetSeconds};
    std::optional<ShowControls> controls;
    // Offline: the static and the sound of the frames to come, rendered ahead. Last, so that the
    // drawing threads stop rendering them before anything they use goes.
    std::optional<NoiseStaticAhead> staticAhead;
    std::optional<SoundAhead> sound;
};

ShowApp::ShowApp(const ShowOptions& showOptions, const ShowHooks& showHooks)
    : options(showOptions), hooks(showHooks), offline(options.offline()),
      dataDirectory(options.dataDirectory.empty() ? findDataDirectory() : options.dataDirectory) {
    if (offline)
        interruption.emplace();
    // Before anything draws: a jump draws its way to the start, and the preparation of the seeks
    // is forked from a show whose pool is running (it makes its own).
    setBandThreads(options.drawingThreads());
    showConsole = std::make_unique<ptc::Console>(makeBackend());
    if (!window)
        window = dynamic_cast<const ptc::WindowBackend*>(&showConsole->backend());

    ShowDriver::Settings settings;
    settings.fps = options.fps;
    settings.startOrder = options.startOrder;
    settings.startSeconds = options.startSeconds;
    settings.trace = options.trace ? &std::cout : nullptr;
    driver = std::make_unique<ShowDriver>(*showConsole, settings);
    driver->recordMusicWith(recordShowMusic);
    if (offline)
        output = std::make_unique<OfflineOutput>(outputSettings(options), showConsole->width(), showConsole->height());
    BASS_SetOutput(offline ? BassOutput::Offline : options.mute ? BassOutput::Silent : BassOutput::Device);
    if (options.controls && !offline && !options.uncapped)
        driver->keepCheckpoints(ShowControls::checkpointSpacing(options.fps), compressedCheckpoints());
    driver->startUp([this] {
        if (hooks.afterPresent)
            hooks.afterPresent(console->backend(), -1);
    });
    nextFrame = driver->firstFrame();
    if (offline) {
        output->startAt(nextFrame);
        endFrame = offlineEndFrame(options, driver->passSeconds(), nextFrame);
        progress.emplace(nextFrame, endFrame, options.fps);
    } else if (!options.uncapped) {
        pacer.emplace(options.fps, vsyncLead(window, options.fps));
        pacer->startAt(nextFrame);
        if (options.controls)
            controls.emplace(*driver, *pacer, clock, options.fps, [this](long frame) { showFrame(frame); });
    }
    watchCues();
    if (stats && window)
        stats->setRenderer(window->rendererName());
    driver->play();
    clock.restartAt(driver->frameTime(driver->firstFrame()));
    if (offline) {
        // With threads the sound goes ahead while they wait for work: the long waits come in some
        // scenes only (the static, the layers that are not split), and the heavy scenes after them
        // use up what was rendered ahead only slowly. --threads 1 renders it frame by frame.
        // The static first: the frame after next may need it, the sound only seconds later.
        if (noise != nullptr)
            staticAhead.emplace(*noise, bandPool(), staticFramesAhead);
        auto render = [](double seconds, std::vector<std::int16_t>& chunk) { BASS_RenderOffline(seconds, chunk); };
        sound.emplace(render, options.fps, nextFrame, endFrame, bandPool(), soundSecondsAhead * options.fps);
    }
}

std::unique_ptr<ptc::ConsoleBackend> ShowApp::makeBackend() {
    if (hooks.makeBackend)
        return hooks.makeBackend();
    if (offline) {
        return std::make_unique<ptc::HeadlessBackend>([this](const std::uint32_t* pixels, int width, int height) {
            if (output)
                output->sink()(pixels, width, height);
        });
    }
    auto windowBackend =
        std::make_unique<ptc::WindowBackend>(ptc::WindowOptions{options.scale, options.fullscreen, !options.uncapped});
    window = windowBackend.get();
    return windowBackend;
}

// --stats counts scenes from the cues that ran, and so do the controls.
void ShowApp::watchCues() {
    if (options.stats) {
        stats.emplace(options.fps);
        stats->setDrawingThreads(bandPool().threads());
        timing = &*stats;
    }
    if (!stats && !controls)
        return;
    driver->cues().observe([this](const MusicCue& cue, const std::vector<StackSlot>& before) {
        std::vector<StackSlot> after = stackSlots(*layerList);
        if (stats)
            stats->cueRan(cue, before, after);
        if (controls)
            controls->cueRan(before, after);
    });
}

bool ShowApp::iterate() {
    if (offline)
        return offlineStep();
    if (controls)
        return controlledStep();
    return options.uncapped ? uncappedStep() : pacedStep();
}

void ShowApp::showFrame(long frame, std::optional<double> clockSeconds) {
    if (stats)
        stats->beginFrame();
    if (clockSeconds)
        driver->drawAt(*clockSeconds, timing);
    else
        driver->drawFrame(frame, timing);
    if (stats) {
        stats->endFrame(clockSeconds ? *clockSeconds : driver->frameTime(frame));
        if (!offline)
            stats->framePresented(std::chrono::steady_clock::now());
        else if (stats->scenes().size() != measuredScenes)
            measureCheckpoint();
    }
    if (hooks.afterPresent)
        hooks.afterPresent(console->backend(), frame);
}

// The checkpoint after a scene's first frame, saved and restored (the same state: the frames go
// on unchanged), for the report.
void ShowApp::measureCheckpoint() {
    measuredScenes = stats->scenes().size();
    using Clock = std::chrono::steady_clock;
    auto milliseconds = [](Clock::duration span) { return std::chrono::duration<double, std::milli>(span).count(); };
    auto start = Clock::now();
    Checkpoint checkpoint = driver->checkpoint();
    auto saved = Clock::now();
    driver->restore(checkpoint);
    stats->checkpointMeasured(checkpoint.bytes.size(), milliseconds(saved - start), milliseconds(Clock::now() - saved));
}

bool ShowApp::offlineStep() {
    if (nextFrame < endFrame && Interruption::requested()) {
        // The render stops after the frame in hand, and the progress line ends where it stopped.
        if (nextFrame > driver->firstFrame())
            progress->frameDone(nextFrame - 1, true);
        endFrame = nextFrame;
    }
    if (nextFrame == endFrame) {
        // The sound of the last frame's duration, so picture and sound end together.
        sound->take(endFrame, samples);
        output->addAudio(samples);
        return false;
    }
    if (console->key())
        return false;
    long frame = nextFrame++;
    sound->take(frame, samples);
    output->addAudio(samples);
    output->beginFrame(frame);
    showFrame(frame);
    progress->frameDone(frame, frame + 1 == endFrame);
    return true;
}

bool ShowApp::windowEnded(long next, double now) const {
    // With controls the keys are theirs (Escape or Q ends).
    if (!controls && console->key())
        return true;
    if (options.frames && next >= driver->firstFrame() + *options.frames)
        return true;
    return options.seconds && now >= driver->frameTime(driver->firstFrame()) + *options.seconds;
}

// The show's time in a window: the clock counts from the first frame's time, or from where the
// controls last sought.
double ShowApp::clockSeconds() const {
    return clock.seconds();
}

bool ShowApp::controlledStep() {
    controls->collectPrepared();
    for (ptc::Key key : console->keys())
        if (!controls->press(key))
            return false;
    if (!controls->paused())
        return pacedStep();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return true;
}

bool ShowApp::pacedStep() {
    double now = clockSeconds();
    if (windowEnded(pacer->nextFrame(), now)) {
        if (stats)
            stats->setDroppedFrames(pacer->droppedFrames());
        return false;
    }
    std::optional<long> frame = pacer->frameDue(now);
    if (!frame) {
        // Short sleeps, so a key is seen at once and the clock is read often.
        double wait = std::min(pacer->secondsUntilDue(now), 0.005);
        std::this_thread::sleep_for(std::chrono::duration<double>(wait));
        return true;
    }
    showFrame(*frame);
    return true;
}

bool ShowApp::uncappedStep() {
    double now = clockSeconds();
    if (windowEnded(nextFrame, now))
        return false;
    showFrame(nextFrame++, now);
    return true;
}

int ShowApp::quit() {
    sound.reset();
    staticAhead.reset();
    driver->shutDown();
    if (output)
        output->finish();
    if (stats) {
        std::cout << stats->report();
        if (controls)
            std::cout << controls->report();
        if (driver->firstFrame() > 0)
            std::printf("jump: to frame %ld (%.3f s) in %.2f s\n", driver->firstFrame(),
                        driver->frameTime(driver->firstFrame()), driver->jumpSeconds());
        std::cout << std::flush;
    }
    if (interruption && Interruption::requested()) {
        std::string written = !options.recordFile.empty() ? options.recordFile : options.pngDirectory;
        ptc::Error(interruptedMessage(written, endFrame - driver->firstFrame(), options.fps)).report();
        return Interruption::exitStatus();
    }
    return 0;
}

} // namespace

int runShow(const ShowOptions& options, const ShowHooks& hooks) {
    try {
        ShowOptions absolute = withAbsolutePaths(options);
        ShowApp app(absolute, hooks);
        while (app.iterate()) {
        }
        return app.quit();
    } catch (const ptc::DynamicError& error) {
        ptc::Error(error.what()).report();
    } catch (const std::bad_alloc&) {
        ptc::Error("out of memory").report();
    }
    return 1;
}
