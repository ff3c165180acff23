#pragma once
// The show's music, "atbia3.xm": about six and a half minutes in D minor at 128 beats per
// minute (six ticks a row, four rows a beat), then a loop over the finale. Its sections follow
// the scenes: a slow rise (order 0), a driving part with a struck hit on every beat (1 .. 8),
// chord stabs over a broken beat (9 .. 13), a calm break for the flight over the islands
// (14 .. 17), the warp's build (18 .. 21), the streams (22 .. 24), glassy bells for the lens
// (25 .. 28), the fractal's chord per order (29 .. 34), a breath of light (35 .. 36), flashes
// into the landscape (37 .. 42), the ring's climax (43 .. 48) and the finale (49 .. 53).

#include "XmWriter.h"

namespace datagen {

inline constexpr int kOrderCount = 54;
inline constexpr int kRestartOrder = 49;
inline constexpr int kChannelCount = 16;
inline constexpr int kLongOrder = 35; // carries a cue at row 72
inline constexpr int kLongOrderRows = 80;

XmModule composeModule();

} // namespace datagen
