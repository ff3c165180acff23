#pragma once
// Wrapping textures: marbled sea-and-sky swirls, glints of light on dark, and the two small
// pictures of the show (a cyclic colour strip and a round glow sprite).

#include "Canvas.h"

#include <cstdint>
#include <vector>

namespace datagen {

// Domain-warped marble in the palette's colours; wraps at its edges.
void paintMarble(Canvas& canvas, const std::vector<Colour>& palette, std::uint32_t seed);
// Soft bright clouds and glints on black; wraps at its edges.
void paintGlints(Canvas& canvas, std::uint32_t seed);
// A smooth gradient that returns to its first colour after every `width` pixels.
void paintCyclicStrip(Canvas& canvas, const std::vector<Colour>& stops);
// A round glow, brightest at pixel (3, 3).
void paintGlowSprite(Field& field);

} // namespace datagen
