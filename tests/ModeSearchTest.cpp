// The start-up's search of the console's modes: the size first, then the best pixel format.
#include "driver/ModeSearch.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const ptc::Format format32(32, 0xFF0000, 0x00FF00, 0x0000FF);
const ptc::Format format24(24, 0xFF0000, 0x00FF00, 0x0000FF);
const ptc::Format format565(16, 0xF800, 0x07E0, 0x001F);
const ptc::Format format555(16, 0x7C00, 0x03E0, 0x001F);
const std::vector<ptc::Format> candidates = {format32, format24, format565, format555};

ModeChoice search(std::vector<ptc::Mode> modes) {
    modes.push_back(ptc::Mode()); // the list's end
    return searchMode(modes, candidates, format32);
}

} // namespace

TEST(ModeSearch, SmallSizeInLesserFormatBeatsLargeSizeInBestFormat) {
    ModeChoice choice = search({ptc::Mode(640, 480, format32), ptc::Mode(512, 384, format565)});
    EXPECT_EQ(choice.format, format565);
    EXPECT_EQ(choice.width, 512);
    EXPECT_EQ(choice.height, 384);
    EXPECT_FALSE(choice.centred);
}

TEST(ModeSearch, BetterFormatWinsOverEarlierListPlace) {
    ModeChoice choice = search({ptc::Mode(512, 384, format24), ptc::Mode(512, 384, format32)});
    EXPECT_EQ(choice.format, format32);
    EXPECT_FALSE(choice.centred);
}

TEST(ModeSearch, OnlyLargeSizeOpensCentred) {
    ModeChoice choice = search({ptc::Mode(800, 600, format32), ptc::Mode(640, 480, format555),
                                ptc::Mode(640, 480, format24)});
    EXPECT_EQ(choice.format, format24);
    EXPECT_EQ(choice.width, 640);
    EXPECT_EQ(choice.height, 480);
    EXPECT_TRUE(choice.centred);
}

TEST(ModeSearch, NeitherSizeFallsBackTo512x384In32Bits) {
    for (auto modes : {std::vector<ptc::Mode>{}, std::vector<ptc::Mode>{ptc::Mode(1024, 768, format32)},
                       std::vector<ptc::Mode>{ptc::Mode(512, 384, ptc::Format(8))}}) {
        ModeChoice choice = search(modes);
        EXPECT_EQ(choice.format, format32);
        EXPECT_EQ(choice.width, 512);
        EXPECT_EQ(choice.height, 384);
        EXPECT_FALSE(choice.centred);
    }
}

TEST(ModeSearch, StopsAtFirstInvalidMode) {
    std::vector<ptc::Mode> modes = {ptc::Mode(640, 480, format32), ptc::Mode(), ptc::Mode(512, 384, format32)};
    ModeChoice choice = searchMode(modes, candidates, format32);
    EXPECT_TRUE(choice.centred) << "the 512 x 384 mode lies after the end of the list";
}
