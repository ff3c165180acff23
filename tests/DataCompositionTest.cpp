// The composed module before it is written: every cell is something an XM player can play, and
// the sections carry the sounds the scenes are cut to.

#include "datagen/Composition.h"
#include "datagen/Instruments.h"

#include <gtest/gtest.h>

#include <set>

using namespace datagen;

namespace {

const XmModule& module() {
    static const XmModule composed = composeModule();
    return composed;
}

const XmPattern& patternAt(int order) { return module().patterns[module().orders[static_cast<std::size_t>(order)]]; }

// Instruments struck anywhere on the given rows of an order.
std::set<int> instrumentsOn(int order, int fromRow, int toRow) {
    std::set<int> found;
    const XmPattern& pattern = patternAt(order);
    for (int row = fromRow; row < toRow && row < pattern.rows; ++row)
        for (int channel = 0; channel < pattern.channels; ++channel) {
            const XmNote& note = pattern.at(row, channel);
            if (note.note >= 1 && note.note <= 96)
                found.insert(note.instrument);
        }
    return found;
}

} // namespace

TEST(Composition, EveryCellIsPlayable) {
    const XmModule& song = module();
    ASSERT_EQ(song.orders.size(), static_cast<std::size_t>(kOrderCount));
    ASSERT_EQ(static_cast<int>(song.instruments.size()), kInstrumentCount);
    for (const XmPattern& pattern : song.patterns) {
        ASSERT_EQ(pattern.channels, kChannelCount);
        for (const XmNote& note : pattern.notes) {
            if (note.note == 0)
                continue;
            if (note.note == XmNote::keyOff)
                continue;
            // Within the player's range, and nothing above C-7: the bells' fundamentals stay
            // below about 2 kHz.
            EXPECT_GE(note.note, XmNote::pitch(1, 0));
            EXPECT_LE(note.note, XmNote::pitch(7, 0));
            EXPECT_GE(note.instrument, 1);
            EXPECT_LE(note.instrument, kInstrumentCount);
            EXPECT_GE(note.volume, 0x10);
            EXPECT_LE(note.volume, 0x50);
        }
    }
}

TEST(Composition, OpeningRisesWithoutDrumsAndTheDriveStartsOnOrderOne) {
    std::set<int> opening = instrumentsOn(0, 0, 64);
    for (int drum : {kKick, kSnare, kClap, kClosedHat, kMetalHit})
        EXPECT_EQ(opening.count(drum), 0u) << drum;
    EXPECT_EQ(opening.count(kRiser), 1u);
    std::set<int> downbeat = instrumentsOn(1, 0, 1);
    EXPECT_EQ(downbeat.count(kKick), 1u);
    EXPECT_EQ(downbeat.count(kMetalHit), 1u);
    EXPECT_EQ(downbeat.count(kCrash), 1u);
}

TEST(Composition, FlightBreakIsCalm) {
    for (int order = 14; order <= 17; ++order) {
        std::set<int> heard = instrumentsOn(order, 0, 64);
        EXPECT_EQ(heard.count(kKick), 0u) << order;
        EXPECT_EQ(heard.count(kClap), 0u) << order;
        EXPECT_EQ(heard.count(kSoftLead), 1u) << order;
    }
}

TEST(Composition, FlashesAndCrossFadesHaveTheirAccents) {
    // Three flashes at order 37, rows 0, 4 and 8, and one at order 41.
    for (int row : {0, 4, 8})
        EXPECT_EQ(instrumentsOn(37, row, row + 1).count(kFlashHit), 1u) << row;
    EXPECT_EQ(instrumentsOn(41, 0, 1).count(kFlashHit), 1u);
    // The long order's cross-fade at row 72.
    EXPECT_EQ(patternAt(kLongOrder).rows, kLongOrderRows);
    EXPECT_EQ(instrumentsOn(kLongOrder, 72, 73).count(kImpact), 1u);
    // The finale's steps at orders 49 and 51.
    EXPECT_EQ(instrumentsOn(49, 0, 1).count(kCrash), 1u);
    EXPECT_EQ(instrumentsOn(51, 0, 1).count(kCrash), 1u);
    EXPECT_EQ(module().restartPosition, kRestartOrder);
}
