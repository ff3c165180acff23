#include "core/PixelOps.h"

#include <gtest/gtest.h>

TEST(PixelMix, ChannelsMixWithoutCarryingIntoTheirNeighbours) {
    // red (0x80 * 127 + 0x10 * 128) >> 8 = 71, green (0x40 * 127 + 0x20 * 128) >> 8 = 47,
    // blue (0x20 * 127 + 0x30 * 128) >> 8 = 39
    EXPECT_EQ(mixRGB(0xFF804020, 127, 0x00102030, 128), 0x00472F27u);
    // The top byte as a fourth channel: 255 * 127 >> 8 = 126.
    EXPECT_EQ(mixBytes(0xFF804020, 127, 0x00102030, 128), 0x7E472F27u);
}

TEST(PixelMix, FullWeightKeepsWhiteWhereTheSumReachesTheTopBit) {
    // (0xFF00FF * 256) is 0xFF00FF00: the sum needs all 32 unsigned bits.
    EXPECT_EQ(mixRGB(0xFFFFFFFF, 256, 0x12345678, 0), 0x00FFFFFFu);
    EXPECT_EQ(mixBytes(0xFFFFFFFF, 256, 0x12345678, 0), 0xFFFFFFFFu);
    EXPECT_EQ(mixBytes(0xFFFFFFFF, 128, 0xFFFFFFFF, 128), 0xFFFFFFFFu);
    EXPECT_EQ(mixBytes(0xFFFFFFFF, 255, 0, 0), 0xFEFEFEFEu);
}
