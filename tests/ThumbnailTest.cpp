#include "icon/Thumbnail.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

TEST(Thumbnail, TakesTheCentredSquareOfAWidePicture) {
    // 4 x 2: the square is columns 1 and 2; at its own size it is copied as is.
    const std::vector<std::uint32_t> pixels = {
        0x000001, 0x000002, 0x000003, 0x000004, //
        0x000005, 0x000006, 0x000007, 0x000008, //
    };
    EXPECT_EQ(icon::squareThumbnail(pixels.data(), 4, 2, 2),
              (std::vector<std::uint32_t>{0x000002, 0x000003, 0x000006, 0x000007}));
}

TEST(Thumbnail, WeighsEachSourcePixelByTheAreaCovered) {
    // 3 x 3 to 2 x 2: a thumbnail pixel spans 1.5 source pixels, so along each axis it takes
    // weights 2 and 1 (in halves); the corner pixel weighs 4, its neighbours 2, the middle 1 of 9.
    const std::vector<std::uint32_t> pixels = {
        0x5A0000, 0x000000, 0x000000, //
        0x000000, 0x000009, 0x000000, //
        0x000000, 0x000000, 0x00FF00, //
    };
    const std::vector<std::uint32_t> thumbnail = icon::squareThumbnail(pixels.data(), 3, 3, 2);
    // Red: 90 * 4 / 9 = 40. Blue: 9 / 9 = 1 in every pixel. Green: 255 * 4 / 9 = 113.3.
    EXPECT_EQ(thumbnail, (std::vector<std::uint32_t>{0x280001, 0x000001, 0x000001, 0x007101}));
}

TEST(Thumbnail, RoundsTheMeanToNearest) {
    // 2 x 2 to 1 x 1: blue (1 + 0 + 0 + 1) / 4 = 0.5 rounds up, green 3 / 4 rounds up, red 1 / 4 down.
    const std::vector<std::uint32_t> pixels = {0x010101, 0x000100, 0x000100, 0x000001};
    EXPECT_EQ(icon::squareThumbnail(pixels.data(), 2, 2, 1), (std::vector<std::uint32_t>{0x000101}));
}

TEST(Thumbnail, FlatFrameStaysFlatAtIconSize) {
    const std::vector<std::uint32_t> frame(512 * 384, 0x12AB56);
    const std::vector<std::uint32_t> thumbnail = icon::squareThumbnail(frame.data(), 512, 384, 256);
    ASSERT_EQ(thumbnail.size(), 256u * 256u);
    for (std::uint32_t pixel : thumbnail)
        ASSERT_EQ(pixel, 0x12AB56u);
}
