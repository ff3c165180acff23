#include "driver/MusicLevel.h"

#include <gtest/gtest.h>

TEST(MusicLevel, LeftPlusRight) {
    EXPECT_EQ(levelSum(0x00300040u), 112);
    EXPECT_EQ(levelSum(0xFFFFFFFFu), 0xFFFF + 0xFFFF);
    EXPECT_EQ(levelSum(0), 0);
}
