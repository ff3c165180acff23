#include "main/Show.h"

#include "main/CueDispatch.h"
#include "main/DataLocation.h"
#include "main/FrameStats.h"
#include "main/ModeSearch.h"
#include "main/MusicLevel.h"
#include "main/ProgressLine.h"
#include "main/ShowAssets.h"
#include "main/ShowDisplay.h"
#include "main/ShowObjects.h"
#include "main/VideoRecorder.h"
#include "main/WavWriter.h"
#include "platform/bass/Bass.h"
#include "platform/ptc/Error.h"
#include "platform/ptc/HeadlessBackend.h"
#include "platform/ptc/PngWriter.h"
#include "platform/ptc/Timer.h"
#include "platform/ptc/window/WindowBackend.h"
#include "timeline/CueScript.h"
#include "timeline/LayerList.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <set>

namespace {

constexpr int sampleRate = 44100;
constexpr const char* showTitle = "the ceaseless velmora voyage";
constexpr const char* moduleFile = "Data/atbia3.xm";

// The first frame whose time n / fps is at or after `seconds`.
long frameAtOrAfter(double seconds, int fps) {
    return static_cast<long>(std::ceil(seconds * fps - 1e-9));
}

// Where an offline run's frames and sound go. Frames presented while loading (frame -1) are not
// part of the render and are dropped.
class OfflineOutput {
public:
    OfflineOutput(const ShowOptions& options, int width, int height) : fps(options.fps) {
        namespace fs = std::filesystem;
        if (!options.recordFile.empty()) {
            recorder = std::make_unique<VideoRecorder>(options.recordFile, width, height, options.fps, sampleRate);
        } else if (!options.pngDirectory.empty()) {
            pngDirectory = options.pngDirectory;
            std::error_code error;
            fs::create_directories(pngDirectory, error);
            if (!fs::is_directory(pngDirectory))
                throw ptc::DynamicError("cannot create directory " + pngDirectory);
            sound = std::make_unique<WavWriter>((fs::path(pngDirectory) / "audio.wav").string(), sampleRate);
            for (double time : options.snapshotTimes)
                snapshotFrames.insert(frameAtOrAfter(time, options.fps));
        }
    }

    ptc::FrameSink sink() {
        return [this](const std::uint32_t* pixels, int width, int height) { take(pixels, width, height); };
    }

    void beginFrame(long number) { frame = number; }

    void addAudio(const std::vector<std::int16_t>& samples) {
        if (recorder)
            recorder->addAudio(samples.data(), samples.size());
        if (sound)
            sound->append(samples.data(), samples.size());
    }

    void finish() {
        if (recorder)
            recorder->finish();
        if (sound)
            sound->finish();
    }

private:
    void take(const std::uint32_t* pixels, int width, int height) {
        if (frame < 0)
            return;
        if (recorder)
            recorder->addFrame(pixels, width, height);
        if (pngDirectory.empty())
            return;
        if (!snapshotFrames.empty() && snapshotFrames.count(frame) == 0)
            return;
        char name[32];
        std::snprintf(name, sizeof name, "frame%06ld.png", frame);
        ptc::writePng((std::filesystem::path(pngDirectory) / name).string(), pixels, width, height);
    }

    int fps;
    long frame = -1;
    std::unique_ptr<VideoRecorder> recorder;
    std::unique_ptr<WavWriter> sound;
    std::string pngDirectory;
    std::set<long> snapshotFrames;
};

// How many frames an offline run draws, from --frames, --seconds, the last snapshot, or else one
// pass of the music (`passSeconds`).
long offlineFrameCount(const ShowOptions& options, double passSeconds) {
    if (options.frames)
        return *options.frames;
    if (options.seconds)
        return std::max(1L, frameAtOrAfter(*options.seconds, options.fps));
    if (!options.snapshotTimes.empty()) {
        double last = *std::max_element(options.snapshotTimes.begin(), options.snapshotTimes.end());
        return frameAtOrAfter(last, options.fps) + 1;
    }
    if (passSeconds > 0.0)
        return std::max(1L, frameAtOrAfter(passSeconds, options.fps));
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

// Moves into the data directory's parent for the run and back afterwards.
class DataDirectory {
public:
    explicit DataDirectory(const std::string& directory) {
        if (directory.empty())
            return;
        previous = std::filesystem::current_path();
        std::error_code error;
        std::filesystem::current_path(directory, error);
        if (error)
            throw ptc::DynamicError("cannot use data directory " + directory + ": " + error.message());
    }
    ~DataDirectory() {
        if (previous) {
            std::error_code ignored;
            std::filesystem::current_path(*previous, ignored);
        }
    }

private:
    std::optional<std::filesystem::path> previous;
};

// Closes the player on every way out; BASS_Free only once BASS_Init has succeeded.
struct PlayerSession {
    bool initialised = false;
    HMUSIC music = 0;
    ~PlayerSession() { close(); }
    void close() {
        if (music != 0)
            BASS_ChannelStop(music);
        music = 0;
        if (initialised)
            BASS_Free();
        initialised = false;
    }
};

// The one-line progress display of an offline run, on a terminal only.
class ProgressReport {
public:
    ProgressReport(long totalFrames, int fps)
        : enabled(isatty(STDERR_FILENO) != 0), totalSeconds(double(totalFrames) / fps), fps(fps),
          start(std::chrono::steady_clock::now()) {}

    void frameDone(long frame, bool last) {
        if (!enabled)
            return;
        auto now = std::chrono::steady_clock::now();
        if (!last && now - lastShown < std::chrono::milliseconds(100))
            return;
        lastShown = now;
        double done = double(frame + 1) / fps;
        double wall = std::chrono::duration<double>(now - start).count();
        std::fprintf(stderr, "\r%s", progressLine(done, totalSeconds, wall > 0.0 ? done / wall : 0.0).c_str());
        if (last)
            std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    bool enabled;
    double totalSeconds;
    int fps;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point lastShown{};
};

void startPlayer(PlayerSession& player) {
    if (!BASS_Init(-1, sampleRate, 0, nullptr) && !BASS_Init(-2, sampleRate, 0, nullptr))
        throw ptc::DynamicError("Can't initialize device");
    player.initialised = true;
    if (!BASS_Start())
        throw ptc::DynamicError("Player failed.. too bad.");
}

void runShowOrThrow(const ShowOptions& options, const ShowHooks& hooks) {
    DataDirectory dataDirectory(options.dataDirectory.empty() ? findDataDirectory() : options.dataDirectory);

    const ptc::Format format32(32, 0xFF0000, 0x00FF00, 0x0000FF);
    const ptc::Format format24(24, 0xFF0000, 0x00FF00, 0x0000FF);
    const ptc::Format format565(16, 0xF800, 0x07E0, 0x001F);
    const ptc::Format format555(16, 0x7C00, 0x03E0, 0x001F);
    const ptc::Format surfaceFormat(32, 0xFF0000, 0x00FF00, 0x0000FF);
    const ptc::Format candidates[] = {format32, format24, format565, format555};

    bool offline = options.offline();
    long totalFrames = -1;
    std::unique_ptr<OfflineOutput> output;
    std::unique_ptr<ptc::Console> ownedConsole;
    if (hooks.makeBackend) {
        ownedConsole = std::make_unique<ptc::Console>(hooks.makeBackend());
    } else if (offline) {
        ownedConsole = std::make_unique<ptc::Console>(std::make_unique<ptc::HeadlessBackend>(
            [&output](const std::uint32_t* pixels, int width, int height) {
                if (output)
                    output->sink()(pixels, width, height);
            }));
    } else {
        ownedConsole = std::make_unique<ptc::Console>(
            ptc::makeWindowBackend(ptc::WindowOptions{options.scale, options.fullscreen}));
    }
    console = ownedConsole.get();

    std::vector<ptc::Mode> modes = readModeList(*console);
    std::unique_ptr<std::uint32_t[]> bufferA(new std::uint32_t[workBufferWords]);
    std::unique_ptr<std::uint32_t[]> bufferB(new std::uint32_t[workBufferWords]);
    workBufferA = bufferA.get();
    workBufferB = bufferB.get();
    ModeChoice choice = searchMode(modes, candidates, format32);
    centred = choice.centred;
    screen = Bitmap();
    screen.width = 512;
    screen.height = 384;
    console->open(showTitle, choice.width, choice.height, choice.format, 0);
    std::unique_ptr<ptc::Surface> ownedOffscreen = std::make_unique<ptc::Surface>(512, 384, surfaceFormat);
    offscreen = ownedOffscreen.get();
    if (offline)
        output = std::make_unique<OfflineOutput>(options, choice.width, choice.height);

    PlayerSession player;
    BASS_SetOutput(offline ? BassOutput::Offline : options.mute ? BassOutput::Silent : BassOutput::Device);
    startPlayer(player);

    ProgressDisplay progress = [&hooks](double fraction) {
        showProgress(fraction);
        if (hooks.afterPresent)
            hooks.afterPresent(console->backend(), -1);
    };
    runLoadingPhase(progress);
    if (BASS_GetVersion() != 0x80000)
        throw ptc::DynamicError("BASS version 0.8 was not loaded");
    runConstructionPhase(progress);

    BASS_SetVolume(100);
    HMUSIC music = BASS_MusicLoad(false, moduleFile, 0, 0, 261);
    if (music == 0)
        throw ptc::DynamicError(std::string("cannot load music module ") + moduleFile + ": " + BASS_GetErrorText());
    player.music = music;
    if (offline)
        totalFrames = offlineFrameCount(options, BASS_MusicGetPassSeconds(music));
    CueDispatch cues(music, options.trace ? &std::cout : nullptr);
    registerCues(cues);
    // Draws the layer stack into the off-screen surface; `timing` takes the layers' times.
    auto drawStack = [&options](double seconds, FrameStats* timing) {
        screen.pixels = static_cast<std::uint32_t*>(offscreen->lock());
        screen.width = offscreen->width();
        screen.height = offscreen->height();
        // The warp is the one layer that edits the list while it draws; the trace shows its work.
        std::string stackBefore = options.trace ? describeStack(*layerList) : std::string();
        if (timing)
            renderAllTimed(*layerList, screen, seconds, *timing);
        else
            layerList->renderAll(screen, seconds);
        if (options.trace) {
            std::string stackAfter = describeStack(*layerList);
            if (stackAfter != stackBefore)
                std::cout << "warp | " << stackAfter << "\n" << std::flush;
        }
        offscreen->unlock();
    };
    if (options.startOrder > 0) {
        // A frame after each cue, as playing would have drawn: layers that act on their first
        // frame (the warp retiring the terrain) do so before the next cue.
        cues.runPositionCuesBefore(options.startOrder, [&drawStack] { drawStack(0.0, nullptr); });
        BASS_SetStartOrder(options.startOrder);
    }
    BASS_MusicSetAmplify(music, 75);
    progress(1.0);
    BASS_MusicSetPositionScaler(music, 256);
    BASS_MusicPlay(music);

    // Offline, the clock is the frame's time n / fps; in a window, the audio heard.
    double frameTime = 0.0;
    ptc::Timer timer = offline ? ptc::Timer([&frameTime] { return frameTime; }) : ptc::Timer(BASS_GetSeconds);
    timer.start();

    std::optional<FrameStats> stats;
    if (options.stats) {
        stats.emplace(options.fps);
        cues.observe([&stats](const MusicCue& cue, const std::vector<StackSlot>& before) {
            stats->cueRan(cue, before, stackSlots(*layerList));
        });
    }
    std::optional<ProgressReport> progressReport;
    if (offline)
        progressReport.emplace(totalFrames, options.fps);
    std::vector<std::int16_t> samples;

    for (long frame = 0;; ++frame) {
        if (console->key())
            break;
        if (offline ? frame >= totalFrames : options.frames && frame >= *options.frames)
            break;
        if (stats)
            stats->beginFrame();
        if (offline) {
            frameTime = static_cast<double>(frame) / options.fps;
            samples.clear();
            BASS_RenderOffline(frameTime, samples);
            output->addAudio(samples);
        }
        musicLevel = levelSum(BASS_ChannelGetLevel(music));
        double seconds = timer.time();
        if (!offline && options.seconds && seconds >= *options.seconds)
            break;
        BASS_RunSyncs(seconds);

        drawStack(seconds, stats ? &*stats : nullptr);
        if (output)
            output->beginFrame(frame);
        presentOffscreen();
        if (stats)
            stats->endFrame(seconds);
        if (hooks.afterPresent)
            hooks.afterPresent(console->backend(), frame);
        if (progressReport)
            progressReport->frameDone(frame, frame + 1 == totalFrames);
    }

    if (offline && !console->key()) {
        // The sound of the last frame's duration, so picture and sound end together.
        samples.clear();
        BASS_RenderOffline(static_cast<double>(totalFrames) / options.fps, samples);
        output->addAudio(samples);
    }
    player.close();
    if (output)
        output->finish();
    if (stats)
        std::cout << stats->report() << std::flush;
    console = nullptr;
    offscreen = nullptr;
    workBufferA = nullptr;
    workBufferB = nullptr;
}

} // namespace

int runShow(const ShowOptions& options, const ShowHooks& hooks) {
    try {
        runShowOrThrow(withAbsolutePaths(options), hooks);
        return 0;
    } catch (const ptc::DynamicError& error) {
        ptc::Error(error.what()).report();
    } catch (const std::bad_alloc&) {
        ptc::Error("out of memory").report();
    }
    console = nullptr;
    offscreen = nullptr;
    workBufferA = nullptr;
    workBufferB = nullptr;
    return 1;
}
