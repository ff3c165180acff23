// A sound device that stops taking audio, or is taken away: the show's clock goes on, one
// warning is printed, and a device that opens again resumes the sound at the show's time.
#include "TestModules.h"

#include "platform/bass/AudioDevice.h"
#include "platform/bass/Bass.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

using namespace testmodules;
using namespace std::chrono_literals;

namespace {

constexpr int rate = 44100;
constexpr int framesPerFill = 441; // 10 ms

// What the test sees of every device the player opened, in order.
struct DeviceLog {
    std::atomic<int> opened{0};
    std::atomic<int> refused{0};
    // Frames the latest working device took, and how many of their samples were not silent.
    std::atomic<long> framesTaken{0};
    std::atomic<long> soundingSamples{0};
};

// Pulls audio in real time on a thread of its own, the first buffer `firstPullDelay` after
// it resumes, until told to stop taking it or to act as if it were unplugged.
class FakeDevice final : public AudioDevice {
  public:
    FakeDevice(DeviceLog& log, bool opens, std::chrono::milliseconds firstPullDelay = 0ms)
        : log(log), opens(opens), firstPullDelay(firstPullDelay) {}
    ~FakeDevice() override { close(); }

    int open(int, int, Fill fillFrames, std::string& error) override {
        if (!opens) {
            ++log.refused;
            error = "no device";
            return 0;
        }
        ++log.opened;
        fill = std::move(fillFrames);
        return framesPerFill;
    }
    void resume() override {
        thread = std::thread([this] { pull(); });
    }
    bool lost() override { return unplugged; }
    void close() override {
        quit = true;
        if (thread.joinable())
            thread.join();
    }

    std::atomic<bool> stalled{false};
    std::atomic<bool> unplugged{false};

  private:
    void pull() {
        std::vector<int16_t> buffer(framesPerFill * 2);
        auto next = std::chrono::steady_clock::now() + firstPullDelay;
        while (!quit) {
            next += std::chrono::microseconds(1000000 * framesPerFill / rate);
            std::this_thread::sleep_until(next);
            if (stalled)
                continue;
            fill(buffer.data(), framesPerFill);
            log.framesTaken += framesPerFill;
            for (int16_t sample : buffer)
                log.soundingSamples += sample != 0;
        }
    }

    DeviceLog& log;
    bool opens;
    std::chrono::milliseconds firstPullDelay;
    Fill fill;
    std::thread thread;
    std::atomic<bool> quit{false};
};

// A module with a note on every row, so that any stretch of it sounds.
XmModule soundingModule() {
    XmModule module = emptyModule(1);
    XmPattern pattern(16, 1);
    for (int row = 0; row < 16; ++row)
        pattern.at(row, 0) = noteOf(1);
    module.patterns = {pattern};
    module.orders = {0};
    module.instruments = {squareInstrument(100, "beep")};
    return module;
}

struct BassDeviceTest : ::testing::Test {
    DeviceLog log;
    std::vector<FakeDevice*> devices; // owned by the player
    // Devices after the first: this many refuse to open, then they open.
    int refusals = 1;
    // Devices after the first wait this long before they take their first buffer.
    std::chrono::milliseconds laterFirstPullDelay{0};
    std::vector<uint8_t> bytes;
    HMUSIC music = 0;

    void TearDown() override { BASS_Free(); }

    void play() {
        BASS_SetOutput(BassOutput::Device);
        BASS_SetDeviceFactory([this]() -> std::unique_ptr<AudioDevice> {
            bool opens = devices.empty() || refusals-- <= 0;
            auto device = std::make_unique<FakeDevice>(log, opens, devices.empty() ? 0ms : laterFirstPullDelay);
            devices.push_back(device.get());
            return device;
        });
        ASSERT_TRUE(BASS_Init(-1, rate, 0, nullptr));
        ASSERT_EQ(BASS_GetOutput(), BassOutput::Device);
        ASSERT_TRUE(BASS_Start());
        bytes = XmWriter::write(soundingModule());
        music = BASS_MusicLoad(true, bytes.data(), 0, uint32_t(bytes.size()), 0);
        ASSERT_NE(music, 0u) << BASS_GetErrorText();
        ASSERT_TRUE(BASS_MusicPlay(music));
    }

    // Waits `span`, or until `done` says so, reading the clock every 10 ms: it must never go
    // back, nor stand still for longer than it takes to see that a device stopped.
    double watchClock(std::chrono::milliseconds span, const std::function<bool()>& done = {}) {
        constexpr double longestHold = 0.35;
        double last = BASS_GetSeconds();
        auto lastChange = std::chrono::steady_clock::now();
        auto end = lastChange + span;
        while (std::chrono::steady_clock::now() < end && !(done && done())) {
            std::this_thread::sleep_for(10ms);
            double now = BASS_GetSeconds();
            auto wall = std::chrono::steady_clock::now();
            EXPECT_GE(now, last) << "the clock went back";
            if (now > last)
                lastChange = wall;
            EXPECT_LT(std::chrono::duration<double>(wall - lastChange).count(), longestHold)
                << "the clock stood still at " << now << " s";
            last = now;
        }
        return last;
    }

    void expectResumedAtTheShowsTime(const std::string& warnings) {
        EXPECT_EQ(warnings, "velmora: the sound device stopped; continuing without sound\n");
        EXPECT_EQ(log.refused.load(), 1) << "a refused device is tried again later";
        ASSERT_EQ(log.opened.load(), 2);
        // The new device plays the music, and the clock follows the sound it takes again: over
        // half a second it moves by what the device took, give or take a buffer and the lead.
        long takenBefore = log.framesTaken;
        double before = BASS_GetSeconds();
        watchClock(500ms);
        double clockMoved = BASS_GetSeconds() - before;
        double soundMoved = double(log.framesTaken - takenBefore) / rate;
        EXPECT_NEAR(clockMoved, soundMoved, 0.06);
        EXPECT_GT(log.soundingSamples.load(), 0);
    }
};

} // namespace

TEST_F(BassDeviceTest, DeviceThatStopsTakingAudioIsReplacedAndTheClockGoesOn) {
    play();
    double playing = watchClock(400ms);
    EXPECT_GT(playing, 0.3);
    ASSERT_EQ(devices.size(), 1u);

    testing::internal::CaptureStderr();
    devices[0]->stalled = true;
    // Stopped, then a refused reopening a second later, then one that opens a second after.
    auto stall = std::chrono::steady_clock::now();
    double reopened = watchClock(6000ms, [this] { return log.opened == 2; });
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - stall).count();
    EXPECT_GT(wall, 2.0) << "reopening is tried once a second";
    EXPECT_NEAR(reopened - playing, wall, 0.35) << "the clock ran on the steady clock";
    expectResumedAtTheShowsTime(testing::internal::GetCapturedStderr());
    // The stopped device's late callbacks get silence and change nothing.
    devices[0]->stalled = false;
    watchClock(100ms);
    EXPECT_EQ(log.opened.load(), 2);
}

TEST_F(BassDeviceTest, DeviceTakenAwayIsReplaced) {
    refusals = 0;
    play();
    watchClock(300ms);
    testing::internal::CaptureStderr();
    devices[0]->unplugged = true;
    double before = BASS_GetSeconds();
    watchClock(6000ms, [this] { return log.opened == 2; });
    EXPECT_GT(BASS_GetSeconds(), before + 1.0);
    watchClock(200ms);
    std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_EQ(warnings, "velmora: the sound device stopped; continuing without sound\n");
    EXPECT_EQ(log.opened.load(), 2);
}

// The clock follows the reopened device, at most a buffer ahead of the sound it took, rather
// than running on with the steady clock: a device that waits before its first pull holds it.
TEST_F(BassDeviceTest, ClockFollowsAReopenedDeviceThatIsSlowToStart) {
    refusals = 0;
    // Less than the quarter second after which a device counts as stopped.
    laterFirstPullDelay = 150ms;
    play();
    watchClock(300ms);
    testing::internal::CaptureStderr();
    devices[0]->stalled = true;
    watchClock(6000ms, [this] { return log.opened == 2; });
    ASSERT_EQ(log.opened.load(), 2);
    long takenBefore = log.framesTaken;
    double before = BASS_GetSeconds();
    for (int check = 0; check < 40; ++check) {
        std::this_thread::sleep_for(10ms);
        double clockMoved = BASS_GetSeconds() - before;
        double soundTaken = double(log.framesTaken - takenBefore) / rate;
        // One buffer of lead, one more that the device is taking (its report comes before the
        // log counts it), and the moment between seeing the device open and its clock taking
        // over. Running freely would be 0.15 s ahead.
        EXPECT_LE(clockMoved, soundTaken + 2.0 * framesPerFill / rate + 0.02) << "check " << check;
    }
    EXPECT_GT(log.framesTaken - takenBefore, 0) << "the new device took sound";
    testing::internal::GetCapturedStderr();
}
