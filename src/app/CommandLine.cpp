#include "app/CommandLine.h"

#include "capture/VideoRecorder.h"
#include "core/BandPool.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <climits>
#include <cstdlib>
#include <ostream>

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "unknown"
#endif

namespace {

// CLI11's messages may span lines; ours are one line.
std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// A whole number from `lowest` to `highest`, said in a few words when the value is not one
// (CLI11's own range message spells out the type's limits).
CLI::Validator wholeNumber(long lowest, long highest, const std::string& expected) {
    return CLI::Validator(
        [lowest, highest, expected](std::string& text) -> std::string {
            char* end = nullptr;
            errno = 0;
            long value = std::strtol(text.c_str(), &end, 10);
            bool whole = !text.empty() && *end == '\0' && errno == 0;
            if (whole && value >= lowest && value <= highest)
                return "";
            return text + " is not " + expected;
        },
        expected);
}

// A number of seconds, 0 or more.
CLI::Validator secondsValue() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            char* end = nullptr;
            double value = std::strtod(text.c_str(), &end);
            if (!text.empty() && *end == '\0' && std::isfinite(value) && value >= 0.0)
                return "";
            return text + " is not a number of seconds";
        },
        "seconds");
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

// A mistake the parser cannot see alone, or "" when the options fit together.
std::string checkCombination(const ShowOptions& options) {
    if (!options.recordFile.empty() && !recordingFormatOf(options.recordFile))
        return "--record: unknown file type of " + options.recordFile + " (use .mp4, .webm or .mkv)";
    if (!options.snapshotTimes.empty() && options.pngDirectory.empty())
        return "--snapshot needs --png-dir";
    if (options.controls && (options.offline() || options.uncapped))
        return "--controls needs the paced window (not --record, --png-dir, --headless or --uncapped)";
    if (options.seconds && !(*options.seconds > 0.0))
        return "--seconds must be more than 0";
    if (options.seconds && *options.seconds > longestRunSeconds)
        return "--seconds " + secondsText(*options.seconds) + ": a run lasts at most " +
               secondsText(longestRunSeconds) + " s (a week)";
    if (options.frames && double(*options.frames) / options.fps > longestRunSeconds)
        return "--frames " + std::to_string(*options.frames) + ": a run lasts at most " +
               secondsText(longestRunSeconds) + " s (a week)";
    if (options.startSeconds && *options.startSeconds > longestRunSeconds)
        return "--at " + secondsText(*options.startSeconds) + ": a jump goes at most " + secondsText(longestRunSeconds) +
               " s (a week) into the show";
    // Without --seconds or --frames the run lasts until the last snapshot.
    std::optional<double> end = options.seconds;
    if (options.frames)
        end = double(*options.frames) / options.fps;
    for (double time : options.snapshotTimes) {
        if (end && time >= *end)
            return "--snapshot " + secondsText(time) + " is not within the run (0 to " + secondsText(*end) + " s)";
        if (time > longestRunSeconds)
            return "--snapshot " + secondsText(time) + ": a run lasts at most " + secondsText(longestRunSeconds) +
                   " s (a week)";
    }
    return "";
}

} // namespace

int ShowOptions::drawingThreads() const {
    return threads > 0 ? threads : std::min(availableCores(), mostDrawingThreads);
}

std::optional<double> parseShowTime(const std::string& text) {
    std::size_t colon = text.find(':');
    std::string minutesText = colon == std::string::npos ? "" : text.substr(0, colon);
    std::string secondsText = colon == std::string::npos ? text : text.substr(colon + 1);
    auto number = [](const std::string& digits, bool whole) -> std::optional<double> {
        if (digits.empty() || digits.find_first_not_of(whole ? "0123456789" : "0123456789.") != std::string::npos ||
            std::count(digits.begin(), digits.end(), '.') > 1 || digits == ".")
            return std::nullopt;
        return std::strtod(digits.c_str(), nullptr); // a number too large for a double is infinite
    };
    std::optional<double> seconds = number(secondsText, false);
    if (!seconds)
        return std::nullopt;
    if (colon == std::string::npos)
        return seconds;
    std::optional<double> minutes = number(minutesText, true);
    if (!minutes || *seconds >= 60.0)
        return std::nullopt;
    return *minutes * 60.0 + *seconds;
}

ParseOutcome parseCommandLine(int argc, const char* const* argv, ShowOptions& options, std::ostream& out,
                              std::ostream& err) {
    CLI::App app{"velmora: a real-time software-rendered audiovisual show. Without options it plays in "
                 "a window, with sound, until a key is pressed.",
                 "velmora"};
    app.set_version_flag("--version", std::string("velmora ") + VELMORA_VERSION);

    app.add_option("--data", options.dataDirectory,
                   "The directory that holds Data/ (default: the working directory, else the installed data)")
        ->check(CLI::ExistingDirectory);
    auto* scale = app.add_option("--scale", options.scale, "Window size: the 512 x 384 frame times N (default 2)")
                      ->check(wholeNumber(1, 16, "a whole number from 1 to 16"));
    app.add_flag("--fullscreen", options.fullscreen, "Full screen at the desktop's mode")->excludes(scale);
    app.add_flag("--mute", options.mute, "No audio device; the show keeps the same timing");

    auto* record = app.add_option("--record", options.recordFile,
                                  "Offline render of picture and sound through ffmpeg to FILE.mp4 (H.264 and AAC), "
                                  "FILE.webm (VP9 and Opus) or FILE.mkv (FFV1 and FLAC, lossless)");
    app.add_option("--record-scale", options.recordScale,
                   "With --record: scale frames up by N whole pixels before encoding (default 2)")
        ->check(wholeNumber(1, 8, "a whole number from 1 to 8"))
        ->needs(record);
    auto* pngDir = app.add_option("--png-dir", options.pngDirectory,
                                  "Offline render to numbered PNG files in DIR, with the sound as DIR/audio.wav");
    auto* headless = app.add_flag("--headless", options.headless, "Offline render that writes no frames");
    record->excludes(pngDir)->excludes(headless);
    pngDir->excludes(headless);
    app.add_option("--fps", options.fps, "The show rate: frames per second of music time, in a window and "
                                         "offline (default 60)")
        ->check(wholeNumber(1, 1000, "a whole number from 1 to 1000"));
    auto* uncapped = app.add_flag("--uncapped", options.uncapped,
                                  "Window: draw as fast as possible, each frame at the clock's time");
    uncapped->excludes(record)->excludes(pngDir)->excludes(headless);
    auto* seconds = app.add_option("--seconds", options.seconds,
                                   "How long the show runs, in seconds (offline default: one pass of the music)")
                        ->check(secondsValue());
    app.add_option("--frames", options.frames, "How many frames the show runs")
        ->check(wholeNumber(1, LONG_MAX, "a whole number of frames, 1 or more"))
        ->excludes(seconds);
    app.add_option("--snapshot", options.snapshotTimes,
                   "With --png-dir: write only the frames at these times (seconds, comma separated)")
        ->delimiter(',')
        ->check(secondsValue());
    auto* start = app.add_option("--start", options.startOrder,
                                 "Start at this pattern order's first row, with the frames of a run from the start")
                      ->check(wholeNumber(0, INT_MAX, "an order number, 0 or more"));
    std::string atText;
    app.add_option("--at", atText, "Start at this time (seconds, or M:SS.s), with the frames of a run from the start")
        ->excludes(start);
    app.add_flag("--controls", options.controls,
                 "In the window: Space pauses, Left/Right seek 10 s, Page Up/Down go to the previous/next "
                 "scene, . steps while paused, Home goes to the start, Escape or Q ends");
    app.add_option("--threads", options.threads,
                   "Threads that draw the heavy layers, each a band of the picture (default: one per core, " +
                       std::to_string(std::min(availableCores(), mostDrawingThreads)) +
                       " here); 1 draws on one. The frames are the same")
        ->check(wholeNumber(1, mostDrawingThreads,
                            "a whole number from 1 to " + std::to_string(mostDrawingThreads)));
    app.add_flag("--trace", options.trace, "Print every cue as it runs, and the layer stack after it");
    app.add_flag("--stats", options.stats,
                 "At the end: frames, frames per second, mean and worst milliseconds per layer class; in a "
                 "window also the frames dropped and the time between presents");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return ParseOutcome::ExitSuccess;
    } catch (const CLI::CallForVersion&) {
        out << app.version() << "\n";
        return ParseOutcome::ExitSuccess;
    } catch (const CLI::ParseError& error) {
        err << "velmora: " << oneLine(error.what()) << "\n";
        return ParseOutcome::ExitFailure;
    }
    // An empty name would quietly leave the show in a window.
    if (record->count() > 0 && options.recordFile.empty()) {
        err << "velmora: --record needs a file name\n";
        return ParseOutcome::ExitFailure;
    }
    if (pngDir->count() > 0 && options.pngDirectory.empty()) {
        err << "velmora: --png-dir needs a folder name\n";
        return ParseOutcome::ExitFailure;
    }
    if (!atText.empty()) {
        options.startSeconds = parseShowTime(atText);
        if (!options.startSeconds) {
            err << "velmora: --at " << atText << ": give seconds (95.5) or minutes and seconds (1:35.5)\n";
            return ParseOutcome::ExitFailure;
        }
    }
    std::string mistake = checkCombination(options);
    if (!mistake.empty()) {
        err << "velmora: " << mistake << "\n";
        return ParseOutcome::ExitFailure;
    }
    return ParseOutcome::Run;
}
