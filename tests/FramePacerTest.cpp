#include "app/FramePacer.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(FramePacer, EachFrameIsDueAtItsOwnTimeAndOnlyOnce) {
    FramePacer pacer(60);
    EXPECT_EQ(pacer.frameDue(0.0), 0);
    EXPECT_EQ(pacer.frameDue(0.0), std::nullopt) << "frame 0 again";
    EXPECT_EQ(pacer.frameDue(0.016), std::nullopt);
    EXPECT_NEAR(pacer.secondsUntilDue(0.016), 1.0 / 60 - 0.016, 1e-12);
    // Exactly at 1/60 s, as the clock reports it, frame 1 is due; its time is exactly 1 / 60.
    EXPECT_EQ(pacer.frameDue(1.0 / 60), 1);
    EXPECT_EQ(pacer.frameTime(1), 1.0 / 60);
    EXPECT_EQ(pacer.secondsUntilDue(0.5), 0.0);
    EXPECT_EQ(pacer.droppedFrames(), 0);
}

TEST(FramePacer, ALateLoopDrawsTheNewestDueFrameAndDropsTheRest) {
    FramePacer pacer(60);
    ASSERT_EQ(pacer.frameDue(0.0), 0);
    // A slow frame: at 0.1 s frames 1 to 6 are due; 6 is drawn, 1 to 5 are dropped.
    EXPECT_EQ(pacer.frameDue(0.1), 6);
    EXPECT_EQ(pacer.droppedFrames(), 5);
    EXPECT_EQ(pacer.nextFrame(), 7);
    EXPECT_EQ(pacer.frameDue(0.11), std::nullopt);
    EXPECT_EQ(pacer.frameDue(7.0 / 60), 7);
    EXPECT_EQ(pacer.droppedFrames(), 5);
}

TEST(FramePacer, LeadDrawsFramesThatMuchEarlierAndPicksTheNearest) {
    FramePacer pacer(60, 0.5 / 60);
    EXPECT_EQ(pacer.frameDue(0.0), 0);
    EXPECT_EQ(pacer.frameDue(0.4 / 60), std::nullopt);
    EXPECT_EQ(pacer.frameDue(0.6 / 60), 1) << "frame 1 is the nearest to 0.6 frames";
    // Late by 2.4 frames: frame 3 is the nearest to 3.4 (frame 4 is not due before 3.5).
    EXPECT_EQ(pacer.frameDue(3.4 / 60), 3);
    EXPECT_EQ(pacer.droppedFrames(), 1);
    // Late again, to 5.6 frames: the lead makes frame 6 the nearest (without it, 5 would be chosen
    // although 6 is already due).
    EXPECT_EQ(pacer.frameDue(5.6 / 60), 6);
    EXPECT_EQ(pacer.droppedFrames(), 3);
}

TEST(FramePacer, AClockThatIsNotANumberDrawsNothing) {
    FramePacer pacer(30);
    EXPECT_EQ(pacer.frameDue(std::nan("")), std::nullopt);
    EXPECT_EQ(pacer.frameDue(0.0), 0);
}
