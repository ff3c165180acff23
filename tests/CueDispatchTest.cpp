// Cues registered through the driver's dispatcher with the player's offline output: each action
// runs on the thread that runs the queue, in time order, followed by its trace line.
#include "ShowTestSupport.h"
#include "TestLayerList.h"
#include "core/ShowObjects.h"
#include "driver/CueDispatch.h"
#include "effects/FadeToBlackLayer.h"
#include "platform/bass/Bass.h"
#include "show/ShowLayers.h"
#include "timeline/LayerList.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

TEST(CueDispatch, ActionsRunOnTheMainThreadAndAreTraced) {
    BASS_SetOutput(BassOutput::Offline);
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr));
    std::vector<std::uint8_t> bytes = XmWriter::write(showtest::showModule());
    HMUSIC music = BASS_MusicLoad(true, bytes.data(), 0, std::uint32_t(bytes.size()), 261);
    ASSERT_NE(music, 0u) << BASS_GetErrorText();

    FadeToBlackLayer black;
    TestLayerList list;
    FadeToBlackLayer* savedBlack = fadeToBlack;
    LayerList* savedList = layerList;
    fadeToBlack = &black;
    layerList = &list;

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
    BASS_Free();
    fadeToBlack = savedBlack;
    layerList = savedList;
}
