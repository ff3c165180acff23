#include "main/CommandLine.h"
#include "main/FrameStats.h"
#include "main/ModeSearch.h"
#include "main/MusicLevel.h"
#include "main/ProgressLine.h"
#include "TestLayerList.h"
#include "timeline/LayerList.h"

#include "DirtyAllocations.h"
#include "core/ShowObjects.h"
#include "main/ShowDriver.h"
#include "platform/ptc/Console.h"
#include "platform/ptc/HeadlessBackend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include <sstream>
#include <vector>

namespace {

const ptc::Format format32(32, 0xFF0000, 0x00FF00, 0x0000FF);
const ptc::Format format24(24, 0xFF0000, 0x00FF00, 0x0000FF);
const ptc::Format format565(16, 0xF800, 0x07E0, 0x001F);
const ptc::Format format555(16, 0x7C00, 0x03E0, 0x001F);
const std::vector<ptc::Format> candidates = {format32, format24, format565, format555};

ModeChoice search(std::vector<ptc::Mode> modes) {
    modes.push_back(ptc::Mode()); // the list's end
    return searchMode(modes, candidates, format32);
}

} // namespace

TEST(ModeSearch, SmallSizeInLesserFormatBeatsLargeSizeInBestFormat) {
    ModeChoice choice = search({ptc::Mode(640, 480, format32), ptc::Mode(512, 384, format565)});
    EXPECT_EQ(choice.format, format565);
    EXPECT_EQ(choice.width, 512);
    EXPECT_EQ(choice.height, 384);
    EXPECT_FALSE(choice.centred);
}

TEST(ModeSearch, BetterFormatWinsOverEarlierListPlace) {
    ModeChoice choice = search({ptc::Mode(512, 384, format24), ptc::Mode(512, 384, format32)});
    EXPECT_EQ(choice.format, format32);
    EXPECT_FALSE(choice.centred);
}

TEST(ModeSearch, OnlyLargeSizeOpensCentred) {
    ModeChoice choice = search({ptc::Mode(800, 600, format32), ptc::Mode(640, 480, format555),
                                ptc::Mode(640, 480, format24)});
    EXPECT_EQ(choice.format, format24);
    EXPECT_EQ(choice.width, 640);
    EXPECT_EQ(choice.height, 480);
    EXPECT_TRUE(choice.centred);
}

TEST(ModeSearch, NeitherSizeFallsBackTo512x384In32Bits) {
    for (auto modes : {std::vector<ptc::Mode>{}, std::vector<ptc::Mode>{ptc::Mode(1024, 768, format32)},
                       std::vector<ptc::Mode>{ptc::Mode(512, 384, ptc::Format(8))}}) {
        ModeChoice choice = search(modes);
        EXPECT_EQ(choice.format, format32);
        EXPECT_EQ(choice.width, 512);
        EXPECT_EQ(choice.height, 384);
        EXPECT_FALSE(choice.centred);
    }
}

TEST(ModeSearch, StopsAtFirstInvalidMode) {
    std::vector<ptc::Mode> modes = {ptc::Mode(640, 480, format32), ptc::Mode(), ptc::Mode(512, 384, format32)};
    ModeChoice choice = searchMode(modes, candidates, format32);
    EXPECT_TRUE(choice.centred) << "the 512 x 384 mode lies after the end of the list";
}

TEST(MusicLevel, LeftPlusRight) {
    EXPECT_EQ(levelSum(0x00300040u), 112);
    EXPECT_EQ(levelSum(0xFFFFFFFFu), 0xFFFF + 0xFFFF);
    EXPECT_EQ(levelSum(0), 0);
}

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
    };
    for (const auto& [arguments, message] : mistakes) {
        ShowOptions options;
        std::string error;
        EXPECT_EQ(parse(arguments, options, error), ParseOutcome::ExitFailure) << message;
        EXPECT_EQ(error, "velmora: " + message + "\n");
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

TEST(ProgressLine, BarTimesAndSpeed) {
    EXPECT_EQ(progressLine(5.0, 10.0, 2.5, 10), "[#####.....]     5.0 s / 10.0 s    2.5x");
    EXPECT_EQ(progressLine(0.0, 10.0, 0.0, 4), "[....]     0.0 s / 10.0 s    0.0x");
    // Past the end (the last frame's time rounds up) the bar stays full.
    EXPECT_EQ(progressLine(10.02, 10.0, 12.0, 4), "[####]    10.0 s / 10.0 s   12.0x");
}

namespace {

// Records its draw, and can empty a slot of the list while drawing.
class ProbeLayer : public Layer {
public:
    ProbeLayer(std::string& log, char name, LayerList& list) : log(log), name(name), list(list) {}
    void render(Bitmap&, double) override {
        log += name;
        if (removes != nullptr)
            list.remove(removes);
    }
    Layer* removes = nullptr;

private:
    std::string& log;
    char name;
    LayerList& list;
};

} // namespace

TEST(FrameStats, TimedRenderDrawsLikeRenderAll) {
    std::string drawn;
    TestLayerList list;
    ProbeLayer a(drawn, 'a', list), b(drawn, 'b', list), c(drawn, 'c', list);
    list.insert(&a, 1);
    list.insert(&b, 2);
    list.insert(&c, 3);
    a.removes = &c; // a later slot emptied while drawing: skipped in the same pass
    b.removes = &b; // its own slot
    FrameStats stats;
    Bitmap target;
    stats.beginFrame();
    renderAllTimed(list, target, 0.0, stats);
    stats.endFrame(0.0);
    EXPECT_EQ(drawn, "ab");
    EXPECT_EQ(stats.frameCount(), 1);
    std::string report = stats.report();
    EXPECT_NE(report.find("frames 1 "), std::string::npos) << report;
    EXPECT_NE(report.find("ProbeLayer"), std::string::npos) << report;
    EXPECT_EQ(layerClassName(a), "(anonymous namespace)::ProbeLayer");
}

#include "effects/FadeToBlackLayer.h"
#include "effects/FadeToWhiteLayer.h"
#include "main/CueDispatch.h"
#include "show/LayerNames.h"
#include "show/ShowLayers.h"

TEST(CueTrace, StackListsNamedSlotsWithDepths) {
    FadeToBlackLayer black;
    FadeToWhiteLayer white, stranger;
    FadeToBlackLayer* savedBlack = fadeToBlack;
    FadeToWhiteLayer* savedWhite = fadeToWhite;
    fadeToBlack = &black;
    fadeToWhite = &white;
    TestLayerList list;
    list.insert(&white, 99);
    list.insert(&black, 98);
    list.insert(&stranger, 1);
    list.insert(&white, 5);
    list.remove(&white); // the slot at 5 stays, empty, and is not listed
    EXPECT_EQ(describeStack(list), "?:1 fadeToBlack:98 fadeToWhite:99");
    EXPECT_STREQ(layerName(nullptr), "?");
    fadeToBlack = savedBlack;
    fadeToWhite = savedWhite;

    EXPECT_EQ(CueDispatch::eventText(MusicCue::position(6, 1, 56, {})), "cue 6 @ 1:56");
    EXPECT_EQ(CueDispatch::eventText(MusicCue::onInstrument(50, 33, {})), "cue 50 @ inst 33");
}

// Layers that accumulate in the work buffers (glows that fade per frame) start from black only
// if start-up clears them: memory the allocator hands back may hold anything.
TEST(ShowDriver, WorkBuffersStartBlackWhateverTheAllocatorGives) {
    ptc::Console showConsole(std::make_unique<ptc::HeadlessBackend>(ptc::FrameSink{}));
    std::unique_ptr<ShowDriver> driver;
    {
        DirtyAllocations scope;
        driver = std::make_unique<ShowDriver>(showConsole, ShowDriver::Settings{});
    }
    ASSERT_NE(workBufferA, nullptr);
    ASSERT_NE(workBufferB, nullptr);
    auto isBlack = [](const std::uint32_t* buffer) {
        return std::all_of(buffer, buffer + workBufferWords, [](std::uint32_t word) { return word == 0; });
    };
    EXPECT_TRUE(isBlack(workBufferA));
    EXPECT_TRUE(isBlack(workBufferB));
}
