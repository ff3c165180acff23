#include "app/ProgressLine.h"

#include <gtest/gtest.h>

TEST(ProgressLine, BarTimesAndSpeed) {
    EXPECT_EQ(progressLine(5.0, 10.0, 2.5, 10), "[#####.....]     5.0 s / 10.0 s    2.5x");
    EXPECT_EQ(progressLine(0.0, 10.0, 0.0, 4), "[....]     0.0 s / 10.0 s    0.0x");
    // Past the end (the last frame's time rounds up) the bar stays full.
    EXPECT_EQ(progressLine(10.02, 10.0, 12.0, 4), "[####]    10.0 s / 10.0 s   12.0x");
}
