#include "TestModules.h"

#include "platform/bass/AudioClock.h"
#include "platform/bass/AudioDevice.h"
#include "platform/bass/Bass.h"
#include "platform/bass/MusicPlayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <set>
#include <thread>

using namespace testmodules;

namespace {

struct Fired {
    uint32_t user;
    uint32_t data;
    double frameTime; // the time of the frame being prepared when it ran
    std::thread::id thread;
};

std::vector<Fired> fired;
double currentFrameTime = 0.0;

void recordSync(HSYNC, uint32_t, uint32_t data, uint32_t user) {
    fired.push_back({user, data, currentFrameTime, std::this_thread::get_id()});
}

std::vector<uint32_t> firedUsers() {
    std::vector<uint32_t> users;
    for (const Fired& f : fired)
        users.push_back(f.user);
    return users;
}

uint32_t position(int order, int row) {
    return uint32_t(order) | uint32_t(row) << 16;
}
uint32_t anyNoteOf(int instrument) {
    return uint32_t(instrument) | 0xFFFFu << 16;
}

// A 16-row pattern of silence with the given notes, played once per pass.
XmModule oneSquareModule(int rows = 16) {
    XmModule module = emptyModule(2);
    module.patterns = {XmPattern(rows, 2)};
    module.orders = {0};
    module.instruments = {squareInstrument(100, "one"), squareInstrument(50, "two")};
    return module;
}

struct BassTest : ::testing::Test {
    std::vector<uint8_t> bytes;
    HMUSIC music = 0;

    void SetUp() override {
        fired.clear();
        currentFrameTime = 0.0;
    }
    void TearDown() override { BASS_Free(); }

    void open(const XmModule& module, BassOutput output) {
        bytes = XmWriter::write(module);
        BASS_SetOutput(output);
        ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
        ASSERT_TRUE(BASS_Start());
        music = BASS_MusicLoad(true, bytes.data(), 0, uint32_t(bytes.size()), 0x105);
        ASSERT_NE(music, 0u) << BASS_GetErrorText();
    }

    // Offline frames 0 .. count-1 at `fps`: render up to each frame's time, then run its syncs.
    std::vector<int16_t> runFrames(int count, int fps) {
        std::vector<int16_t> audio;
        for (int n = 0; n < count; ++n) {
            currentFrameTime = double(n) / fps;
            BASS_RenderOffline(currentFrameTime, audio);
            BASS_RunSyncs(currentFrameTime);
        }
        return audio;
    }
};

} // namespace

TEST_F(BassTest, PositionSyncRunsInTheFirstFrameAtOrAfterItsRow) {
    open(oneSquareModule(), BassOutput::Offline);
    // A row lasts 3 ticks of 882 frames: row 5 starts at 0.30 s (frame 9 at 30 fps),
    // row 7 at 0.42 s (between frames 12 and 13).
    BASS_ChannelSetSync(music, BASS_SYNC_POS, position(0, 7), recordSync, 7);
    BASS_ChannelSetSync(music, BASS_SYNC_POS, position(0, 5), recordSync, 5);
    BASS_ChannelSetSync(music, BASS_SYNC_POS, position(0, 0), recordSync, 0);
    ASSERT_TRUE(BASS_MusicPlay(music));
    runFrames(15, 30);
    ASSERT_EQ(firedUsers(), (std::vector<uint32_t>{0, 5, 7}));
    EXPECT_EQ(fired[0].frameTime, 0.0);
    EXPECT_EQ(fired[1].frameTime, 9.0 / 30);
    EXPECT_EQ(fired[2].frameTime, 13.0 / 30);
    EXPECT_EQ(fired[1].data, position(0, 5));
}

TEST_F(BassTest, InstrumentSyncRunsOncePerNoteOfThatInstrument) {
    XmModule module = oneSquareModule();
    XmPattern& pattern = module.patterns[0];
    pattern.at(1, 0) = noteOf(1);
    pattern.at(2, 1) = noteOf(2);
    pattern.at(4, 0) = noteOf(1);
    pattern.at(4, 1) = noteOf(1);
    pattern.at(6, 0).note = XmNote::pitch(5, 0); // no instrument number: the channel's last, 1
    pattern.at(8, 0).note = XmNote::keyOff;      // not a note
    pattern.at(9, 1).instrument = 1;             // an instrument number without a note
    open(module, BassOutput::Offline);
    BASS_ChannelSetSync(music, BASS_SYNC_INST, anyNoteOf(1), recordSync, 1);
    BASS_ChannelSetSync(music, BASS_SYNC_INST, anyNoteOf(2), recordSync, 2);
    BASS_ChannelSetSync(music, BASS_SYNC_INST, 1u | 60u << 16, recordSync, 3); // only C-5
    ASSERT_TRUE(BASS_MusicPlay(music));
    runFrames(30, 50); // 0.58 s: one pass of the 16 rows is 0.96 s
    ASSERT_EQ(firedUsers(), (std::vector<uint32_t>{1, 2, 1, 1, 1, 3}));
    EXPECT_EQ(fired[2].data, 48u);            // C-4, channel 0
    EXPECT_EQ(fired[3].data, 48u | 1u << 16); // C-4, channel 1
    EXPECT_EQ(fired[4].data, 60u);            // C-5, channel 0
    EXPECT_EQ(fired[1].frameTime, 0.12);      // row 2 at exactly 0.12 s, frame 6 at 50 fps
}

TEST_F(BassTest, SyncsOfOneEventRunInRegistrationOrder) {
    XmModule module = oneSquareModule();
    module.patterns[0].at(3, 0) = noteOf(2);
    open(module, BassOutput::Offline);
    BASS_ChannelSetSync(music, BASS_SYNC_INST, anyNoteOf(2), recordSync, 30);
    BASS_ChannelSetSync(music, BASS_SYNC_POS, position(0, 3), recordSync, 10);
    BASS_ChannelSetSync(music, BASS_SYNC_INST, anyNoteOf(2), recordSync, 31);
    BASS_ChannelSetSync(music, BASS_SYNC_POS, position(0, 3), recordSync, 11);
    ASSERT_TRUE(BASS_MusicPlay(music));
    runFrames(20, 50);
    // The row's position syncs come before the notes it plays.
    EXPECT_EQ(firedUsers(), (std::vector<uint32_t>{10, 11, 30, 31}));
}

TEST_F(BassTest, PositionSyncsRunAgainOnEveryPassFromTheRestartPosition) {
    XmModule module = emptyModule(2);
    module.patterns = {XmPattern(4, 2), XmPattern(2, 2)};
    module.orders = {0, 1};
    module.restartPosition = 1;
    open(module, BassOutput::Offline);
    BASS_ChannelSetSync(music, BASS_SYNC_POS, position(0, 0), recordSync, 0);
    BASS_ChannelSetSync(music, BASS_SYNC_POS, position(1, 1), recordSync, 1);
    ASSERT_TRUE(BASS_MusicPlay(music));
    // Rows 0-3 are order 0; then order 1 (rows 4, 5) repeats: its row 1 starts at rows 5, 7, 9,
    // 11, that is 0.30, 0.42, 0.54 and 0.66 s.
    runFrames(35, 50); // up to 0.68 s
    ASSERT_EQ(firedUsers(), (std::vector<uint32_t>{0, 1, 1, 1, 1}));
    EXPECT_EQ(fired[1].frameTime, 0.30);
    EXPECT_EQ(fired[4].frameTime, 0.66);
}

TEST_F(BassTest, PlaybackCanStartAtAnOrder) {
    XmModule module = emptyModule(2);
    module.patterns = {XmPattern(4, 2), XmPattern(2, 2)};
    module.orders = {0, 1, 0};
    open(module, BassOutput::Offline);
    BASS_ChannelSetSync(music, BASS_SYNC_POS, position(0, 0), recordSync, 0);
    BASS_ChannelSetSync(music, BASS_SYNC_POS, position(1, 0), recordSync, 1);
    BASS_ChannelSetSync(music, BASS_SYNC_POS, position(2, 0), recordSync, 2);
    BASS_SetStartOrder(1);
    ASSERT_TRUE(BASS_MusicPlay(music));
    runFrames(10, 50); // 0.18 s: order 2 starts at 0.12 s
    EXPECT_EQ(firedUsers(), (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(fired[0].frameTime, 0.0);
}

TEST_F(BassTest, SyncsRunOnTheMainThreadInRealTime) {
    XmModule module = oneSquareModule(4);
    module.patterns[0].at(2, 0) = noteOf(1);
    open(module, BassOutput::Silent);
    ASSERT_EQ(BASS_GetOutput(), BassOutput::Silent);
    for (int row = 0; row < 4; ++row)
        BASS_ChannelSetSync(music, BASS_SYNC_POS, position(0, row), recordSync, uint32_t(row));
    BASS_ChannelSetSync(music, BASS_SYNC_INST, anyNoteOf(1), recordSync, 100);
    ASSERT_TRUE(BASS_MusicPlay(music));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    double previous = 0.0;
    uint32_t loudest = 0;
    while (fired.size() < 6 && std::chrono::steady_clock::now() < deadline) {
        currentFrameTime = BASS_GetSeconds();
        EXPECT_GE(currentFrameTime, previous);
        previous = currentFrameTime;
        loudest = std::max(loudest, BASS_ChannelGetLevel(music) & 0xFFFF);
        BASS_RunSyncs(currentFrameTime);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_GE(fired.size(), 6u);
    EXPECT_EQ(firedUsers(), (std::vector<uint32_t>{0, 1, 2, 100, 3, 0}));
    for (const Fired& f : fired)
        EXPECT_EQ(f.thread, std::this_thread::get_id());
    // The clock is the audio's: the second pass starts 0.24 s in.
    EXPECT_GE(fired[5].frameTime, 0.24);
    EXPECT_GT(loudest, 0u);
    EXPECT_TRUE(BASS_ChannelStop(music));
    double stopped = BASS_GetSeconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(BASS_GetSeconds(), stopped);
}

TEST_F(BassTest, DeviceOutputKeepsTimeFromTheAudioConsumed) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    XmModule module = oneSquareModule(4);
    open(module, BassOutput::Device);
    unsetenv("SDL_AUDIODRIVER");
    ASSERT_EQ(BASS_GetOutput(), BassOutput::Device);
    BASS_ChannelSetSync(music, BASS_SYNC_POS, position(0, 2), recordSync, 2);
    ASSERT_TRUE(BASS_MusicPlay(music));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (fired.empty() && std::chrono::steady_clock::now() < deadline) {
        currentFrameTime = BASS_GetSeconds();
        BASS_RunSyncs(currentFrameTime);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_GE(fired[0].frameTime, 0.12);
    EXPECT_EQ(fired[0].thread, std::this_thread::get_id());
}

// Both channels sound through most of each pass, so that a sample out of place shows.
XmModule soundingModule() {
    XmModule module = oneSquareModule();
    XmPattern& pattern = module.patterns[0];
    pattern.at(0, 0) = noteOf(1);
    pattern.at(5, 1) = noteOf(2);
    pattern.at(9, 0) = noteOf(2);
    pattern.at(13, 1) = noteOf(1);
    return module;
}

// Part way through a tick and a row of the second pass (a pass is 0.96 s).
constexpr double laterStart = 1.37;

// A device the test feeds from, in place of the device's thread.
class HandFedDevice final : public AudioDevice {
  public:
    int open(int, int, Fill fillFrames, std::string&) override {
        fill = std::move(fillFrames);
        return 441;
    }
    void resume() override {}
    bool lost() override { return false; }
    void close() override {}
    Fill fill;
};

TEST_F(BassTest, PlaybackStartedAtATimePlaysWhatAContinuousRunPlaysFromThen) {
    XmModule module = soundingModule();
    // Row 9 starts at 0.54 s and again at 1.50 s.
    auto run = [&](double startSeconds, std::vector<int16_t>& audio, uint32_t& levelAtStart) {
        open(module, BassOutput::Offline);
        BASS_ChannelSetSync(music, BASS_SYNC_POS, position(0, 9), recordSync, 9);
        BASS_SetStartSeconds(startSeconds);
        ASSERT_TRUE(BASS_MusicPlay(music));
        BASS_RenderOffline(laterStart, audio);
        EXPECT_EQ(BASS_GetSeconds(), laterStart);
        levelAtStart = BASS_ChannelGetLevel(music);
        BASS_RenderOffline(laterStart + 0.5, audio);
        BASS_RunSyncs(laterStart + 0.5);
        BASS_Free();
    };
    std::vector<int16_t> continuous, started;
    uint32_t continuousLevel = 0, startedLevel = 0;
    run(0.0, continuous, continuousLevel);
    ASSERT_EQ(fired.size(), 2u);
    fired.clear();
    run(laterStart, started, startedLevel);
    EXPECT_EQ(fired.size(), 1u); // the row before the start is not reported

    size_t startSample = size_t(std::llround(laterStart * 44100)) * 2;
    ASSERT_EQ(started.size(), continuous.size() - startSample);
    EXPECT_TRUE(std::equal(started.begin(), started.end(), continuous.begin() + long(startSample)));
    EXPECT_GT(continuousLevel, 0u);
    EXPECT_EQ(startedLevel, continuousLevel);
}

TEST_F(BassTest, RealTimePlaybackStartedAtATimeStartsItsSoundAndClockThere) {
    XmModule module = soundingModule();
    open(module, BassOutput::Offline);
    BASS_MusicPlay(music);
    std::vector<int16_t> continuous;
    BASS_RenderOffline(laterStart + 0.5, continuous);
    BASS_Free();

    HandFedDevice* device = nullptr;
    BASS_SetDeviceFactory([&] {
        auto made = std::make_unique<HandFedDevice>();
        device = made.get();
        return made;
    });
    open(module, BassOutput::Device);
    ASSERT_EQ(BASS_GetOutput(), BassOutput::Device);
    BASS_SetStartSeconds(laterStart);
    ASSERT_TRUE(BASS_MusicPlay(music));
    EXPECT_DOUBLE_EQ(BASS_GetSeconds(), laterStart);
    std::vector<int16_t> heard(441 * 2 * 20);
    for (size_t fill = 0; fill < 20; ++fill)
        device->fill(heard.data() + fill * 441 * 2, 441);
    size_t startSample = size_t(std::llround(laterStart * 44100)) * 2;
    EXPECT_TRUE(std::equal(heard.begin(), heard.end(), continuous.begin() + long(startSample)));
    EXPECT_GE(BASS_GetSeconds(), laterStart);
    BASS_Free();

    open(module, BassOutput::Silent);
    BASS_SetStartSeconds(laterStart);
    ASSERT_TRUE(BASS_MusicPlay(music));
    double clock = BASS_GetSeconds();
    EXPECT_GE(clock, laterStart);
    EXPECT_LT(clock, laterStart + 0.25);
}

TEST(BassLevel, PeakOfEachSideScaledTo128) {
    const int16_t frames[] = {16384, -32768, -100, 200, 256, 255};
    EXPECT_EQ(peakLevel(frames, 3), 64u | 128u << 16);
    EXPECT_EQ(peakLevel(frames + 2, 2), 1u | 0u << 16); // 256 -> 1, 255 -> 0
    EXPECT_EQ(peakLevel(frames, 0), 0u);
}

TEST_F(BassTest, LevelIsThePeakOfTheLast20Milliseconds) {
    XmModule module = oneSquareModule(4);
    module.patterns[0].at(1, 0) = noteOf(1);
    module.patterns[0].at(3, 0).note = XmNote::keyOff;
    open(module, BassOutput::Offline);
    ASSERT_TRUE(BASS_MusicPlay(music));
    std::vector<int16_t> audio;
    BASS_RenderOffline(0.05, audio);
    EXPECT_EQ(BASS_ChannelGetLevel(music), 0u); // row 0 is silent
    BASS_RenderOffline(0.1, audio);
    ASSERT_EQ(audio.size(), 4410u * 2);
    int left = 0, right = 0;
    for (size_t i = audio.size() - 882 * 2; i < audio.size(); i += 2) {
        left = std::max(left, std::abs(int(audio[i])));
        right = std::max(right, std::abs(int(audio[i + 1])));
    }
    ASSERT_GT(left, 0);
    EXPECT_EQ(BASS_ChannelGetLevel(music), uint32_t(left * 128 / 32768) | uint32_t(right * 128 / 32768)
                                                                              << 16);
    BASS_ChannelStop(music);
    EXPECT_EQ(BASS_ChannelGetLevel(music), 0u);
}

// A frame's level is that of the 20 ms before the frame's own time, whatever the player has
// rendered beyond it (a window's clock runs ahead of the frame it draws).
TEST_F(BassTest, LevelAtATimeIsThePeakOfThe20MillisecondsBeforeIt) {
    XmModule module = oneSquareModule(4);
    module.patterns[0].at(1, 0) = noteOf(1);
    module.patterns[0].at(3, 0).note = XmNote::keyOff;
    open(module, BassOutput::Offline);
    ASSERT_TRUE(BASS_MusicPlay(music));
    std::vector<int16_t> audio;
    BASS_RenderOffline(0.4, audio);
    auto peakBefore = [&audio](double seconds) {
        std::size_t end = std::size_t(std::llround(seconds * 44100));
        return peakLevel(audio.data() + 2 * (end - 882), 882);
    };
    std::set<uint32_t> levels;
    for (double seconds : {0.03, 0.1, 0.15, 0.2, 0.33}) {
        EXPECT_EQ(BASS_ChannelGetLevelAt(music, seconds), peakBefore(seconds)) << seconds << " s";
        levels.insert(peakBefore(seconds));
    }
    EXPECT_GE(levels.size(), 2u) << "the times asked must tell levels apart";
    EXPECT_NE(BASS_ChannelGetLevelAt(music, 0.03), BASS_ChannelGetLevel(music));
}

TEST_F(BassTest, AmplificationScalesTheMix) {
    XmModule module = oneSquareModule(4);
    module.patterns[0].at(0, 0) = noteOf(1);
    auto peakAt = [&](uint32_t amplify) {
        open(module, BassOutput::Offline);
        BASS_MusicSetAmplify(music, amplify);
        BASS_MusicPlay(music);
        std::vector<int16_t> audio;
        BASS_RenderOffline(0.1, audio);
        BASS_Free();
        int peak = 0;
        for (int16_t sample : audio)
            peak = std::max(peak, std::abs(int(sample)));
        return peak;
    };
    int unity = peakAt(50);
    int half = peakAt(25);
    ASSERT_GT(unity, 1000);
    EXPECT_NEAR(half * 2, unity, 4);
}

TEST_F(BassTest, OfflineRenderingIsDeterministicAndExact) {
    XmModule module = oneSquareModule();
    module.patterns[0].at(0, 0) = noteOf(1);
    module.patterns[0].at(3, 1) = noteOf(2);
    open(module, BassOutput::Offline);
    BASS_MusicPlay(music);
    std::vector<int16_t> first = runFrames(31, 30);
    BASS_Free();
    open(module, BassOutput::Offline);
    BASS_MusicPlay(music);
    std::vector<int16_t> second = runFrames(31, 30);
    EXPECT_EQ(first.size(), 44100u * 2); // frames 0..30 at 30 fps end at exactly 1 s
    EXPECT_EQ(first, second);
    EXPECT_EQ(BASS_GetSeconds(), 1.0);
}

TEST_F(BassTest, FailuresAreReportedWithAReason) {
    EXPECT_EQ(BASS_GetVersion(), 0x80000u);
    BASS_SetOutput(BassOutput::Offline);
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
    EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr));
    EXPECT_EQ(BASS_MusicLoad(false, "/nonexistent/atbia3.xm", 0, 0, 0x105), 0u);
    EXPECT_EQ(BASS_GetErrorText(), "No such file or directory");

    const char garbage[] = "this is not a module at all, not even close to one";
    EXPECT_EQ(BASS_MusicLoad(true, garbage, 0, sizeof garbage, 0), 0u);
    EXPECT_FALSE(BASS_GetErrorText().empty());

    std::vector<uint8_t> module = XmWriter::write(oneSquareModule());
    for (size_t size : {size_t(17), size_t(80), size_t(340), module.size() - 40}) {
        HMUSIC truncated = BASS_MusicLoad(true, module.data(), 0, uint32_t(size), 0);
        if (truncated != 0)
            BASS_MusicFree(truncated); // libxmp may accept a module whose sample data is short
        else
            EXPECT_FALSE(BASS_GetErrorText().empty());
    }
    EXPECT_EQ(BASS_ChannelSetSync(12345, BASS_SYNC_POS, 0, recordSync, 0), 0u);
    EXPECT_EQ(BASS_ChannelGetLevel(12345), 0u);
}

TEST(AudioClock, RunsBetweenReportsWithinItsLeadAndNeverBack) {
    using namespace std::chrono;
    AudioClock clock;
    clock.reset(44100, 1024);
    auto start = AudioClock::Clock::now();
    EXPECT_EQ(clock.frames(start + seconds(1)), 0.0); // nothing heard yet
    clock.report(1000, start);
    EXPECT_DOUBLE_EQ(clock.frames(start + milliseconds(10)), 1441.0);
    EXPECT_DOUBLE_EQ(clock.frames(start + milliseconds(100)), 2024.0); // at most 1024 ahead
    clock.report(1500, start + milliseconds(101));                     // a late, lower report
    EXPECT_DOUBLE_EQ(clock.frames(start + milliseconds(102)), 2024.0);
    EXPECT_DOUBLE_EQ(clock.frames(start + milliseconds(121)), 2382.0);
    clock.hold(start + milliseconds(121));
    EXPECT_DOUBLE_EQ(clock.frames(start + seconds(5)), 2382.0);
    EXPECT_DOUBLE_EQ(clock.seconds(start + seconds(5)), 2382.0 / 44100);
}
