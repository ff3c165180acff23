// Cues registered through the driver's dispatcher with the player's offline output: each action
// runs on the thread that runs the queue, in time order, followed by its trace line.
#include "ShowObjectsGuard.h"
#include "ShowTestSupport.h"
#include "TestLayerList.h"
#include "core/ShowObjects.h"
#include "driver/CueDispatch.h"
#include "effects/FadeToBlackLayer.h"
#include "effects/FadeToWhiteLayer.h"
#include "platform/bass/Bass.h"
#include "show/LayerNames.h"
#include "show/ShowLayers.h"
#include "timeline/LayerList.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

namespace {

// The player is freed and the show's objects put back even when a test ends early.
struct CueDispatchTest : ::testing::Test {
    showtest::ShowObjectsGuard guard;
    void TearDown() override { BASS_Free(); }
};

} // namespace

TEST_F(CueDispatchTest, ActionsRunOnTheMainThreadAndAreTraced) {
    BASS_SetOutput(BassOutput::Offline);
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
    std::vector<std::uint8_t> bytes = XmWriter::write(showtest::showModule());
    HMUSIC music = BASS_MusicLoad(true, bytes.data(), 0, std::uint32_t(bytes.size()), 261);
    ASSERT_NE(music, 0u) << BASS_GetErrorText();

    FadeToBlackLayer black;
    TestLayerList list;
    guard.replace(fadeToBlack, &black);
    guard.replace(layerList, &list);

    std::ostringstream trace;
    std::string ran;
    std::thread::id mainThread = std::this_thread::get_id();
    bool allOnMainThread = true;
    {
        CueDispatch cues(music, &trace);
        auto note = [&](char name) {
            ran += name;
            allOnMainThread = allOnMainThread && std::this_thread::get_id() == mainThread;
        };
        // Row 4 of order 0 is heard at 0.24 s; instrument 2 plays on rows 0 and 8 of each order.
        cues.add(MusicCue::position(1, 0, 4, [&] { note('a'); list.insert(&black, 98); }));
        cues.add(MusicCue::position(2, 0, 4, [&] { note('b'); }));
        cues.add(MusicCue::onInstrument(3, 2, [&] { note('i'); }));
        ASSERT_TRUE(BASS_MusicPlay(music));

        std::vector<std::int16_t> samples;
        BASS_RenderOffline(0.2, samples);
        BASS_RunSyncs(0.2);
        EXPECT_EQ(ran, "i") << "only the note of row 0 by 0.2 s";
        BASS_RenderOffline(0.5, samples);
        BASS_RunSyncs(0.5);
        EXPECT_EQ(ran, "iabi") << "row 4's two cues in registration order, then row 8's note";
    }
    EXPECT_TRUE(allOnMainThread);
    EXPECT_EQ(trace.str(), "cue 3 @ inst 2 | \n"
                           "cue 1 @ 0:4 | fadeToBlack:98\n"
                           "cue 2 @ 0:4 | fadeToBlack:98\n"
                           "cue 3 @ inst 2 | fadeToBlack:98\n");
}

TEST(CueTrace, StackListsNamedSlotsWithDepths) {
    FadeToBlackLayer black;
    FadeToWhiteLayer white, stranger;
    showtest::ShowObjectsGuard guard;
    guard.replace(fadeToBlack, &black);
    guard.replace(fadeToWhite, &white);
    TestLayerList list;
    list.insert(&white, 99);
    list.insert(&black, 98);
    list.insert(&stranger, 1);
    list.insert(&white, 5);
    list.remove(&white); // the slot at 5 stays, empty, and is not listed
    EXPECT_EQ(describeStack(list), "?:1 fadeToBlack:98 fadeToWhite:99");
    EXPECT_STREQ(layerName(nullptr), "?");

    EXPECT_EQ(CueDispatch::eventText(MusicCue::position(6, 1, 56, {})), "cue 6 @ 1:56");
    EXPECT_EQ(CueDispatch::eventText(MusicCue::onInstrument(50, 33, {})), "cue 50 @ inst 33");
}
