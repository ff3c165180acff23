#pragma once
// The module's instruments, each one synthesised sample with its envelope. Numbers are the
// module's 1-based instrument numbers; the show reacts to some of them (33, 19 .. 24), so their
// places are fixed.

#include "XmWriter.h"

#include <vector>

namespace datagen {

enum Instrument : int {
    kKick = 1,
    kSnare,
    kClosedHat,
    kOpenHat,
    kClap,
    kBass,
    kSubBass,
    kWarmPad,
    kGlassPad,
    kLead,
    kPluck,
    kBell,
    kPiano,
    kRiser,
    kCrash,
    kTom,
    kRide,
    kShaker,
    kStabMinor,   // 19 .. 24: the short hits that steer the first grid movie
    kBrassHit,
    kBrightStab,
    kOrchestraHit,
    kZap,
    kBigHit,
    kChoir,
    kGlassBell,
    kSoftLead,
    kReeseBass,
    kReverseCymbal,
    kStringLead,
    kBoomKick,
    kImpact,
    kMetalHit,    // 33: the beat that kicks the swirl's ripple
    kFlashHit,    // the big hit again, for places where 24 would move the grid movie
    kInstrumentCount = kFlashHit
};

std::vector<XmInstrument> buildInstruments();

} // namespace datagen
