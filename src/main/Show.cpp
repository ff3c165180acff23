#include "main/Show.h"

#include "core/ShowObjects.h"
#include "main/DataLocation.h"
#include "main/FramePacer.h"
#include "main/FrameStats.h"
#include "main/Interruption.h"
#include "main/ProgressLine.h"
#include "main/ShowDriver.h"
#include "main/VideoRecorder.h"
#include "main/WavWriter.h"
#include "platform/bass/Bass.h"
#include "platform/ptc/Error.h"
#include "platform/ptc/HeadlessBackend.h"
#include "platform/ptc/PngWriter.h"
#include "platform/ptc/Timer.h"
#include "platform/ptc/window/WindowBackend.h"
#include "show/ShowDisplay.h"
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
#include <thread>

namespace {

constexpr int sampleRate = ShowDriver::sampleRate;

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
            recorder = std::make_unique<VideoRecorder>(options.recordFile, width, height, options.fps, sampleRate,
                                                       options.recordScale);
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

// The loop a window runs: at the show rate, or the literal loop (`--uncapped`).
struct WindowLoop {
    ShowDriver& driver;
    const ShowOptions& options;
    const ShowHooks& hooks;
    FrameStats* stats;
    ptc::Timer timer{BASS_GetSeconds};

    bool ended(long nextFrame, double now) const {
        if (console->key())
            return true;
        if (options.frames && nextFrame >= *options.frames)
            return true;
        return options.seconds && now >= *options.seconds;
    }

    void show(long frame, double seconds) {
        if (stats)
            stats->beginFrame();
        if (options.uncapped)
            driver.drawAt(seconds, stats);
        else
            driver.drawFrame(frame, stats);
        if (stats) {
            stats->endFrame(seconds);
            stats->framePresented(std::chrono::steady_clock::now());
        }
        if (hooks.afterPresent)
            hooks.afterPresent(console->backend(), frame);
    }

    // Frame k is drawn once the clock reaches k / fps; between frames the loop sleeps (or waits
    // in a vsync present), and frames it is late for are dropped.
    void runPaced(double leadSeconds) {
        FramePacer pacer(options.fps, leadSeconds);
        timer.start();
        for (;;) {
            double now = timer.time();
            if (ended(pacer.nextFrame(), now))
                break;
            std::optional<long> frame = pacer.frameDue(now);
            if (!frame) {
                // Short sleeps, so a key is seen at once and the clock is read often.
                double wait = std::min(pacer.secondsUntilDue(now), 0.005);
                std::this_thread::sleep_for(std::chrono::duration<double>(wait));
                continue;
            }
            show(*frame, pacer.frameTime(*frame));
        }
        if (stats)
            stats->setDroppedFrames(pacer.droppedFrames());
    }

    // As fast as frames can be drawn, each at the clock's time.
    void runUncapped() {
        timer.start();
        for (long frame = 0;; ++frame) {
            double now = timer.time();
            if (ended(frame, now))
                break;
            show(frame, now);
        }
    }
};

// Frame n at exactly n / fps: the player renders the sound up to that time first. Returns the
// number of frames drawn, fewer than asked when interrupted.
long runOffline(ShowDriver& driver, OfflineOutput& output, long totalFrames, const ShowOptions& options,
                const ShowHooks& hooks, FrameStats* stats) {
    ProgressReport progressReport(totalFrames, options.fps);
    std::vector<std::int16_t> samples;
    for (long frame = 0; frame < totalFrames; ++frame) {
        if (console->key())
            return frame;
        if (Interruption::requested()) {
            // The progress line ends where the render stopped, so the next line starts afresh.
            if (frame > 0)
                progressReport.frameDone(frame - 1, true);
            totalFrames = frame;
            break;
        }
        if (stats)
            stats->beginFrame();
        samples.clear();
        BASS_RenderOffline(driver.frameTime(frame), samples);
        output.addAudio(samples);
        output.beginFrame(frame);
        driver.drawFrame(frame, stats);
        if (stats)
            stats->endFrame(driver.frameTime(frame));
        if (hooks.afterPresent)
            hooks.afterPresent(console->backend(), frame);
        progressReport.frameDone(frame, frame + 1 == totalFrames);
    }
    // The sound of the last frame's duration, so picture and sound end together.
    samples.clear();
    BASS_RenderOffline(driver.frameTime(totalFrames), samples);
    output.addAudio(samples);
    return totalFrames;
}

// Half a frame of lead when presents wait for a display refreshing at the show rate (see
// FramePacer); none otherwise.
double vsyncLead(const ptc::WindowBackend* window, int fps) {
    if (window == nullptr || !window->presentsWithVsync())
        return 0.0;
    int refresh = window->refreshRate();
    return std::abs(refresh - fps) <= 1 ? 0.5 / fps : 0.0;
}

// Returns the exit status: 0, or 128 + the signal's number after an interruption.
int runShowOrThrow(const ShowOptions& options, const ShowHooks& hooks) {
    DataDirectory dataDirectory(options.dataDirectory.empty() ? findDataDirectory() : options.dataDirectory);

    bool offline = options.offline();
    std::optional<Interruption> interruption;
    if (offline)
        interruption.emplace();
    std::unique_ptr<OfflineOutput> output;
    std::unique_ptr<ptc::ConsoleBackend> backend;
    const ptc::WindowBackend* window = nullptr;
    if (hooks.makeBackend) {
        backend = hooks.makeBackend();
    } else if (offline) {
        backend = std::make_unique<ptc::HeadlessBackend>([&output](const std::uint32_t* pixels, int width, int height) {
            if (output)
                output->sink()(pixels, width, height);
        });
    } else {
        auto windowBackend =
            std::make_unique<ptc::WindowBackend>(ptc::WindowOptions{options.scale, options.fullscreen, !options.uncapped});
        window = windowBackend.get();
        backend = std::move(windowBackend);
    }
    ptc::Console showConsole(std::move(backend));
    if (!window)
        window = dynamic_cast<const ptc::WindowBackend*>(&showConsole.backend());

    ShowDriver driver(showConsole, {options.fps, options.startOrder, options.trace ? &std::cout : nullptr});
    if (offline)
        output = std::make_unique<OfflineOutput>(options, showConsole.width(), showConsole.height());
    BASS_SetOutput(offline ? BassOutput::Offline : options.mute ? BassOutput::Silent : BassOutput::Device);
    driver.startUp([&hooks] {
        if (hooks.afterPresent)
            hooks.afterPresent(console->backend(), -1);
    });
    long totalFrames = offline ? offlineFrameCount(options, driver.passSeconds()) : -1;

    std::optional<FrameStats> stats;
    if (options.stats) {
        stats.emplace(options.fps);
        driver.cues().observe([&stats](const MusicCue& cue, const std::vector<StackSlot>& before) {
            stats->cueRan(cue, before, stackSlots(*layerList));
        });
    }
    FrameStats* timing = stats ? &*stats : nullptr;
    if (stats && window)
        stats->setRenderer(window->rendererName());

    driver.play();
    if (offline) {
        totalFrames = runOffline(driver, *output, totalFrames, options, hooks, timing);
    } else {
        WindowLoop loop{driver, options, hooks, timing};
        if (options.uncapped)
            loop.runUncapped();
        else
            loop.runPaced(vsyncLead(window, options.fps));
    }
    driver.shutDown();
    if (output)
        output->finish();
    if (stats)
        std::cout << stats->report() << std::flush;
    if (interruption && Interruption::requested()) {
        std::string written = !options.recordFile.empty() ? options.recordFile : options.pngDirectory;
        ptc::Error(interruptedMessage(written, totalFrames, options.fps)).report();
        return Interruption::exitStatus();
    }
    return 0;
}

} // namespace

int runShow(const ShowOptions& options, const ShowHooks& hooks) {
    try {
        return runShowOrThrow(withAbsolutePaths(options), hooks);
    } catch (const ptc::DynamicError& error) {
        ptc::Error(error.what()).report();
    } catch (const std::bad_alloc&) {
        ptc::Error("out of memory").report();
    }
    return 1;
}
