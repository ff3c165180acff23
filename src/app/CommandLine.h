#pragma once
// The command line: where the data lives, how the show is shown, and the offline renders
// (video through ffmpeg, numbered PNG files, or frames discarded) with their length.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

struct ShowOptions {
    // The directory that holds Data/; empty to look in the working directory, then beside the program.
    std::string dataDirectory;
    int scale = 2;
    bool fullscreen = false;
    bool mute = false;
    // Offline renders: at most one of these three.
    std::string recordFile;
    std::string pngDirectory;
    bool headless = false;
    // The show rate: frame k has the time k / fps, in a window and offline.
    int fps = 60;
    // Window: draw as fast as possible, each frame at the clock's time (no show rate).
    bool uncapped = false;
    // --record: frames are scaled up by this whole factor before encoding.
    int recordScale = 2;
    std::optional<double> seconds;
    std::optional<long> frames;
    // With pngDirectory: only the frames at these times are written.
    std::vector<double> snapshotTimes;
    // A jump: the show starts at this order's first row, or at this time in seconds, with the
    // frames of a run from the start.
    int startOrder = 0;
    std::optional<double> startSeconds;
    bool trace = false;
    bool stats = false;
    // Window: keys pause, step and seek (see ShowControls).
    bool controls = false;
    // Threads that draw the heavy layers in bands; 0 for one per core. 1 draws on the main thread
    // alone. The frames are the same at every count.
    int threads = 0;

    int drawingThreads() const;

    bool offline() const { return !recordFile.empty() || !pngDirectory.empty() || headless; }
};

// A time of the show as "SECONDS" or "M:SS.s"; nothing when the text is neither.
std::optional<double> parseShowTime(const std::string& text);

// The most drawing threads --threads accepts (and the most the default takes).
constexpr int mostDrawingThreads = 64;

// The longest run the options accept, in seconds of show time: frame numbers, the music's clock
// and a recording's sound stay well within their ranges.
constexpr double longestRunSeconds = 7 * 24 * 3600.0;

enum class ParseOutcome { Run, ExitSuccess, ExitFailure };

// Fills `options` from the arguments. --help and --version print to `out` (ExitSuccess); a
// mistake prints one line "velmora: <message>" to `err` (ExitFailure).
ParseOutcome parseCommandLine(int argc, const char* const* argv, ShowOptions& options, std::ostream& out,
                              std::ostream& err);
