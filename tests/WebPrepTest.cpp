#include "GeneratedData.h"
#include "driver/CueDispatch.h"
#include "platform/ptc/Error.h"
#include "capture/PixelHash.h"
#include "music/MusicTimeline.h"
#include "show/CueScript.h"
#include "webprep/WebPrep.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

// A first pass of 1000 frames at 1000 frames per second, then a loop of 500 frames.
MusicTimeline smallTimeline() {
    MusicTimeline t;
    t.rate = 1000;
    t.fps = 10;
    t.loopStart = 1000;
    t.loopFrames = 500;
    t.registrations = {{2, 0, 0x00010000}, {3, 1, 0xFFFF0005}};
    t.syncs = {{0, 2, 0}, {400, 3, 7}, {1000, 2, 1}, {1250, 3, 9}};
    for (std::uint32_t k = 0; k < 15; ++k)
        t.levels.push_back(k * 100);
    return t;
}

std::vector<std::uint64_t> runUpTo(TimelineCursor& cursor, double seconds) {
    std::vector<std::uint64_t> frames;
    cursor.runDue(seconds, [&](const TimelineSync&, std::uint64_t frame) { frames.push_back(frame); });
    return frames;
}

} // namespace

TEST(MusicTimeline, ReadsBackWhatItWrote) {
    MusicTimeline t = smallTimeline();
    std::vector<std::uint8_t> bytes = t.serialise();
    MusicTimeline back = MusicTimeline::parse(bytes.data(), bytes.size(), "t");
    EXPECT_EQ(back.rate, 1000u);
    EXPECT_EQ(back.fps, 10u);
    EXPECT_EQ(back.loopStart, 1000u);
    EXPECT_EQ(back.loopFrames, 500u);
    EXPECT_EQ(back.registrations, t.registrations);
    EXPECT_EQ(back.syncs, t.syncs);
    EXPECT_EQ(back.levels, t.levels);
}

TEST(MusicTimeline, RefusesDamagedFilesWithTheirName) {
    std::vector<std::uint8_t> bytes = smallTimeline().serialise();
    // Every cut short file, and one byte too many.
    for (std::size_t size = 0; size < bytes.size(); ++size)
        EXPECT_THROW(MusicTimeline::parse(bytes.data(), size, "t"), ptc::DynamicError) << size;
    std::vector<std::uint8_t> longer = bytes;
    longer.push_back(0);
    EXPECT_THROW(MusicTimeline::parse(longer.data(), longer.size(), "t"), ptc::DynamicError);

    std::vector<std::uint8_t> wrongMagic = bytes;
    wrongMagic[0] = 'X';
    try {
        MusicTimeline::parse(wrongMagic.data(), wrongMagic.size(), "data/timeline.bin");
        FAIL();
    } catch (const ptc::DynamicError& error) {
        EXPECT_STREQ(error.what(), "data/timeline.bin: damaged timeline (not a timeline)");
    }

    // A huge count is refused before anything is allocated for it.
    std::vector<std::uint8_t> hugeCount = bytes;
    std::memset(hugeCount.data() + 32, 0xFF, 4); // the registrations' count
    EXPECT_THROW(MusicTimeline::parse(hugeCount.data(), hugeCount.size(), "t"), ptc::DynamicError);

    MusicTimeline unordered = smallTimeline();
    std::swap(unordered.syncs[0], unordered.syncs[1]);
    std::vector<std::uint8_t> unorderedBytes = unordered.serialise();
    EXPECT_THROW(MusicTimeline::parse(unorderedBytes.data(), unorderedBytes.size(), "t"), ptc::DynamicError);
}

TEST(TimelineCursor, RunsTheFirstPassOnceThenTheLoopEveryTurn) {
    MusicTimeline t = smallTimeline();
    TimelineCursor cursor(t);
    // A sync runs at its stamp exactly, not before.
    EXPECT_EQ(runUpTo(cursor, 0.0), (std::vector<std::uint64_t>{0}));
    EXPECT_EQ(runUpTo(cursor, 0.3999), (std::vector<std::uint64_t>{}));
    EXPECT_EQ(runUpTo(cursor, 0.4), (std::vector<std::uint64_t>{400}));
    EXPECT_EQ(runUpTo(cursor, 1.3), (std::vector<std::uint64_t>{1000, 1250}));
    // Later turns repeat the loop's two syncs, 500 frames apart.
    EXPECT_EQ(runUpTo(cursor, 2.6), (std::vector<std::uint64_t>{1500, 1750, 2000, 2250, 2500}));
}

TEST(TimelineCursor, LevelsAreTheFramesOwnThenTheLoopsAtTheSamePlace) {
    MusicTimeline t = smallTimeline();
    TimelineCursor cursor(t);
    EXPECT_EQ(cursor.levelAt(0.0), 0u);
    EXPECT_EQ(cursor.levelAt(0.7), 700u);
    EXPECT_EQ(cursor.levelAt(1.4), 1400u);
    // 1.7 s is 0.2 s into the second turn of the loop: as at 1.2 s.
    EXPECT_EQ(cursor.levelAt(1.7), 1200u);
    EXPECT_EQ(cursor.levelAt(2.1), 1100u);
}

TEST(PixelHash, IsFnv1aOverBlueGreenRedAndTheTopByte) {
    // Worked out separately: FNV-1a 64 over the bytes 56 34 12 00 and 56 34 12 AB.
    std::uint32_t pixel = 0xAB123456;
    EXPECT_EQ(hashText(pixelHash(&pixel, 1)), "a3c3b109a776045d");
    EXPECT_EQ(hashText(pixelHash(&pixel, 1, 0xFFFFFFFF)), "a3c30609a774e1cc");
    EXPECT_EQ(hashText(pixelHash(nullptr, 0)), "cbf29ce484222325");
}

TEST(WebPrep, ReadsTheRestartPositionOfAnXmHeader) {
    std::vector<std::uint8_t> header(80, 0);
    std::memcpy(header.data(), "Extended Module: ", 17);
    header[64] = 10; // song length
    header[66] = 3;  // restart position
    EXPECT_EQ(xmRestartOrder(header), 3);
    header[66] = 10; // past the end: playback restarts at the beginning
    EXPECT_EQ(xmRestartOrder(header), 0);
    header[0] = 'e';
    EXPECT_THROW(xmRestartOrder(header), ptc::DynamicError);
}

// The timeline of the show's module: the registrations are those the show's own dispatcher makes,
// handle for handle, and the syncs and levels cover the first pass and one turn of the loop.
TEST(WebPrep, TimelineOfTheShowsMusicMatchesTheShowsRegistrations) {
    std::string module = testdata::sharedDataDirectory() + "/atbia3.xm";
    PreparedMusic music = prepareMusic(module, 60);
    const MusicTimeline& t = music.timeline;

    struct Listing : CueRegistry {
        std::vector<MusicCue> cues;
        void add(MusicCue cue) override { cues.push_back(std::move(cue)); }
    } script;
    registerCues(script);
    ASSERT_EQ(t.registrations.size(), script.cues.size());
    for (std::size_t i = 0; i < t.registrations.size(); ++i) {
        // Handles follow each other, as the player gives them out to the show's dispatcher.
        EXPECT_EQ(t.registrations[i].handle, t.registrations[0].handle + i);
        EXPECT_EQ(t.registrations[i].type, CueDispatch::syncType(script.cues[i]));
        EXPECT_EQ(t.registrations[i].parameter, CueDispatch::syncParameter(script.cues[i]));
    }

    EXPECT_GT(t.loopStart, 0u);
    EXPECT_GT(t.loopFrames, 0u);
    EXPECT_EQ(music.samples.size(), (t.loopStart + t.loopFrames) * 2);
    ASSERT_FALSE(t.syncs.empty());
    EXPECT_EQ(t.syncs.front().frame, 0u); // the show's first cue is at order 0, row 0
    EXPECT_LT(t.syncs.back().frame, t.loopStart + t.loopFrames);
    double seconds = double(t.loopStart + t.loopFrames) / t.rate;
    EXPECT_NEAR(double(t.levels.size()), seconds * 60, 1.0);
    // The bytes survive the trip through the file.
    std::vector<std::uint8_t> bytes = t.serialise();
    EXPECT_EQ(MusicTimeline::parse(bytes.data(), bytes.size(), "t").syncs, t.syncs);
}
