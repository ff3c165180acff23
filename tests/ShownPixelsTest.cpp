// The console's row copy: the vector form against the plain loop on seeded rows of every short
// length and alignment, and the top byte cleared in both.
#include "platform/ptc/ShownPixels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

TEST(ShownPixels, TopByteIsClearedAndColoursKept) {
    const std::uint32_t source[3] = {0xAB123456u, 0xFFFFFFFFu, 0x00000001u};
    std::uint32_t target[3] = {};
    ptc::copyShownPixelsScalar(target, source, 3);
    EXPECT_EQ(target[0], 0x00123456u);
    EXPECT_EQ(target[1], 0x00FFFFFFu);
    EXPECT_EQ(target[2], 0x00000001u);
}

TEST(ShownPixels, VectorCopyMatchesThePlainLoop) {
    std::mt19937 random(20261208);
    std::vector<std::uint32_t> source(600);
    for (std::uint32_t& pixel : source)
        pixel = static_cast<std::uint32_t>(random());
    // Lengths around the 8-pixel step and a whole 512-pixel row, from every alignment.
    for (std::size_t offset = 0; offset < 4; ++offset) {
        for (std::size_t count : {0u, 1u, 3u, 4u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 512u, 515u}) {
            std::vector<std::uint32_t> plain(count + 8, 0x5A5A5A5Au), vector(count + 8, 0x5A5A5A5Au);
            ptc::copyShownPixelsScalar(plain.data() + offset, source.data() + offset, count);
            ptc::copyShownPixelsSse2(vector.data() + offset, source.data() + offset, count);
            EXPECT_EQ(plain, vector) << "offset " << offset << ", " << count << " pixels";
        }
    }
}
