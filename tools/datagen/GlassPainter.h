#pragma once
// Glass and light: a leaded window of jewel-coloured panes, a net of caustic light lines, the
// sea seen from below with light shafts, soap bubbles, and a fan of spectral rays.

#include "Canvas.h"

#include <cstdint>

namespace datagen {

// Wraps at its edges (the cells are laid on a periodic grid).
void paintStainedGlass(Canvas& canvas, std::uint32_t seed);
// Thin bright caustic lines and sparkles on dark; wraps at its edges.
void paintCausticNet(Canvas& canvas, std::uint32_t seed);
void paintUnderwater(Canvas& canvas, std::uint32_t seed);
void paintBubbles(Canvas& canvas, std::uint32_t seed);
// A beam entering from the left and fanning out into the spectrum.
void paintSpectrumFan(Canvas& canvas, std::uint32_t seed);

} // namespace datagen
