// Cues registered through the driver's dispatcher and played from a timeline recorded with the
// test module: each action runs when the cursor reaches its stamp, in time order, followed by its
// trace line; two cues of one event run in registration order.
#include "ShowObjectsGuard.h"
#include "ShowTestSupport.h"
#include "TestLayerList.h"
#include "core/ShowObjects.h"
#include "driver/CueDispatch.h"
#include "driver/ShowMusic.h"
#include "effects/FadeToBlackLayer.h"
#include "effects/FadeToWhiteLayer.h"
#include "platform/bass/TimelineRecorder.h"
#include "show/LayerNames.h"
#include "show/ShowLayers.h"
#include "timeline/LayerList.h"

#include <gtest/gtest.h>

#include <sstream>

TEST(CueDispatch, RecordedSyncsRunTheirCuesInTimeOrderAndAreTraced) {
    std::vector<std::uint8_t> bytes = XmWriter::write(showtest::showModule());

    FadeToBlackLayer black;
    TestLayerList list;
    showtest::ShowObjectsGuard guard;
    guard.replace(fadeToBlack, &black);
    guard.replace(layerList, &list);

    std::ostringstream trace;
    std::string ran;
    {
        CueDispatch cues(&trace);
        // Row 4 of order 0 is heard at 0.24 s; instrument 2 plays on rows 0 and 8 of each order.
        cues.add(MusicCue::position(1, 0, 4, [&] { ran += 'a'; list.insert(&black, 98); }));
        cues.add(MusicCue::position(2, 0, 4, [&] { ran += 'b'; }));
        cues.add(MusicCue::onInstrument(3, 2, [&] { ran += 'i'; }));
        TimelineRequest request;
        request.module = &bytes;
        request.registrations = cues.registrations();
        request.mixerVolume = showMixerVolume();
        MusicTimeline timeline = recordTimeline(request);
        TimelineCursor cursor(timeline);
        auto run = [&](const TimelineSync& sync, std::uint64_t) { cues.runSync(sync.handle); };

        cursor.runDue(0.2, run);
        EXPECT_EQ(ran, "i") << "only the note of row 0 by 0.2 s";
        cursor.runDue(0.5, run);
        EXPECT_EQ(ran, "iabi") << "row 4's two cues in registration order, then row 8's note";
    }
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
