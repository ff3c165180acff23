#include "app/CommandLine.h"
#include "core/BandPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace {

ParseOutcome parse(std::vector<const char*> arguments, ShowOptions& options, std::string& error) {
    arguments.insert(arguments.begin(), "velmora");
    std::ostringstream out, err;
    ParseOutcome outcome = parseCommandLine(static_cast<int>(arguments.size()), arguments.data(), options, out, err);
    error = err.str();
    return outcome;
}

} // namespace

TEST(CommandLine, DefaultsAreTheWindowShow) {
    ShowOptions options;
    std::string error;
    ASSERT_EQ(parse({}, options, error), ParseOutcome::Run);
    EXPECT_FALSE(options.offline());
    EXPECT_EQ(options.scale, 2);
    EXPECT_EQ(options.fps, 60);
    EXPECT_FALSE(options.uncapped);
    EXPECT_FALSE(options.seconds || options.frames);
}

TEST(CommandLine, OfflineRenderOptions) {
    ShowOptions options;
    std::string error;
    ASSERT_EQ(parse({"--png-dir", "out", "--fps", "30", "--snapshot", "1.5,10,0", "--trace", "--stats"}, options,
                    error),
              ParseOutcome::Run)
        << error;
    EXPECT_TRUE(options.offline());
    EXPECT_EQ(options.pngDirectory, "out");
    EXPECT_EQ(options.fps, 30);
    EXPECT_EQ(options.snapshotTimes, (std::vector<double>{1.5, 10.0, 0.0}));
    EXPECT_TRUE(options.trace && options.stats);

    ShowOptions recording;
    ASSERT_EQ(parse({"--record", "show.mp4", "--seconds", "10"}, recording, error), ParseOutcome::Run);
    EXPECT_EQ(recording.recordFile, "show.mp4");
    ASSERT_TRUE(recording.seconds);
    EXPECT_EQ(*recording.seconds, 10.0);
    EXPECT_EQ(recording.recordScale, 2);
    for (const char* name : {"a.webm", "b.MKV", "dir.v1/c.Mp4"}) {
        ShowOptions other;
        EXPECT_EQ(parse({"--record", name, "--record-scale", "8"}, other, error), ParseOutcome::Run) << error;
        EXPECT_EQ(other.recordScale, 8);
    }
}

TEST(CommandLine, RecordingMistakeNamesTheFormats) {
    ShowOptions options;
    std::string error;
    ASSERT_EQ(parse({"--record", "show.avi"}, options, error), ParseOutcome::ExitFailure);
    EXPECT_EQ(error, "velmora: --record: unknown file type of show.avi (use .mp4, .webm or .mkv)\n");
}

TEST(CommandLine, MistakesAreOneLine) {
    const std::vector<std::vector<const char*>> mistakes = {
        {"--snapshot", "1,2"},                      // no --png-dir
        {"--png-dir", "a", "--snapshot", "-1"},     // negative time
        {"--record", "a.mp4", "--headless"},        // two outputs
        {"--seconds", "1", "--frames", "10"},       // two lengths
        {"--scale", "0"},                           // out of range
        {"--scale", "3", "--fullscreen"},           // two window sizes
        {"--fps", "0", "--headless"},
        {"--seconds", "0", "--headless"},
        {"--frames", "-5", "--headless"},
        {"--data", "/no/such/directory/here"},
        {"--bogus"},
        {"--record", "show.avi"},                   // no such recording format
        {"--record", "show"},
        {"--record", "a.mp4", "--record-scale", "9"},
        {"--record-scale", "2"},                    // scales nothing
        {"--uncapped", "--headless"},               // the literal loop is a window's
    };
    for (const auto& arguments : mistakes) {
        ShowOptions options;
        std::string error;
        EXPECT_EQ(parse(arguments, options, error), ParseOutcome::ExitFailure) << arguments[0];
        EXPECT_EQ(error.rfind("velmora: ", 0), 0u) << error;
        EXPECT_EQ(error.find('\n'), error.size() - 1) << "one line: " << error;
    }
}

TEST(CommandLine, HelpAndVersionSucceed) {
    for (const char* flag : {"--help", "--version"}) {
        ShowOptions options;
        std::string error;
        EXPECT_EQ(parse({flag}, options, error), ParseOutcome::ExitSuccess) << flag;
        EXPECT_TRUE(error.empty());
    }
}
// Options that used to pass and then did something else: a run that cannot end as asked, a
// snapshot never reached, an empty output name that left the show in a window.
TEST(CommandLine, RefusesRunsThatCannotDoWhatTheySay) {
    const std::vector<std::pair<std::vector<const char*>, std::string>> mistakes = {
        {{"--headless", "--seconds", "1e18"}, "--seconds 1e+18: a run lasts at most 604800 s (a week)"},
        {{"--headless", "--frames", "9000000000"}, "--frames 9000000000: a run lasts at most 604800 s (a week)"},
        {{"--png-dir", "a", "--snapshot", "1,1e300"}, "--snapshot 1e+300: a run lasts at most 604800 s (a week)"},
        {{"--png-dir", "a", "--snapshot", "0.5", "--seconds", "0.1"},
         "--snapshot 0.5 is not within the run (0 to 0.1 s)"},
        {{"--png-dir", "a", "--snapshot", "2", "--frames", "120"}, "--snapshot 2 is not within the run (0 to 2 s)"},
        {{"--record", ""}, "--record needs a file name"},
        {{"--png-dir", ""}, "--png-dir needs a folder name"},
    };
    for (const auto& [arguments, message] : mistakes) {
        ShowOptions options;
        std::string error;
        EXPECT_EQ(parse(arguments, options, error), ParseOutcome::ExitFailure) << message;
        EXPECT_EQ(error, "velmora: " + message + "\n");
    }
    ShowOptions lastFrame;
    std::string error;
    EXPECT_EQ(parse({"--png-dir", "a", "--snapshot", "1.99", "--frames", "120"}, lastFrame, error), ParseOutcome::Run)
        << error;
}

// A bad number is named with what was expected, not the type's whole range.
TEST(CommandLine, BadNumbersSayWhatIsExpected) {
    const std::vector<std::pair<std::vector<const char*>, std::string>> mistakes = {
        {{"--frames", "0"}, "--frames: 0 is not a whole number of frames, 1 or more"},
        {{"--start", "-1"}, "--start: -1 is not an order number, 0 or more"},
        {{"--fps", "abc"}, "--fps: abc is not a whole number from 1 to 1000"},
        {{"--fps", "2.5"}, "--fps: 2.5 is not a whole number from 1 to 1000"},
        {{"--seconds", "soon"}, "--seconds: soon is not a number of seconds"},
        {{"--png-dir", "a", "--snapshot", "1,x"}, "--snapshot: x is not a number of seconds"},
        {{"--threads", "0"}, "--threads: 0 is not a whole number from 1 to 64"},
        {{"--threads", "65"}, "--threads: 65 is not a whole number from 1 to 64"},
    };
    for (const auto& [arguments, message] : mistakes) {
        ShowOptions options;
        std::string error;
        EXPECT_EQ(parse(arguments, options, error), ParseOutcome::ExitFailure) << message;
        EXPECT_EQ(error, "velmora: " + message + "\n");
    }
}

// Without --threads every core draws; --threads N draws with N, in a window and offline alike.
TEST(CommandLine, DrawingThreads) {
    ShowOptions defaults;
    std::string error;
    ASSERT_EQ(parse({}, defaults, error), ParseOutcome::Run);
    EXPECT_EQ(defaults.drawingThreads(), std::min(availableCores(), mostDrawingThreads));
    for (const char* count : {"1", "3", "64"}) {
        ShowOptions options;
        ASSERT_EQ(parse({"--headless", "--threads", count}, options, error), ParseOutcome::Run) << error;
        EXPECT_EQ(options.drawingThreads(), std::stoi(count));
    }
}
