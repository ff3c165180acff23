#pragma once
// Landscapes: height fields that wrap at their edges, and colour pictures that match them
// (water, shore, grass, rock, snow, lit from one side). Heights are 0 .. 1.

#include "Canvas.h"

#include <cstdint>
#include <vector>

namespace datagen {

enum class Relief { RollingHills, Ridges, Dunes, Terraces };

// A wrapping height field of the given character, normalised so that a thin sliver at either
// end of the range is clipped (the full 0 .. 1 survives lossy storage).
Field reliefField(int size, Relief relief, std::uint32_t seed);

// The flight terrain: whole byte steps 0 .. 255 (as values / 255), the sea one flat level 0
// covering about a fifth of the map.
Field flightTerrain(int size);
// How deep the sea of `flightTerrain` is at each point: 0 on land and at the shore, up to 1.
Field flightSeaDepth(int size);
// Colours for `heights`: `palette` runs from the lowest ground to the highest; `waterLine`
// (0 .. 1) marks where water colours end, negative for none; `seaDepth` (optional) shades the
// water from turquoise shallows to deep blue.
void paintTerrainColours(Canvas& canvas, const Field& heights, const std::vector<Colour>& palette, double waterLine,
                         std::uint32_t seed, const Field* seaDepth = nullptr);
// The average of two fields.
Field averageFields(const Field& a, const Field& b);

// Smooth hills (ridged = false) or sharp ridges over a 512 x 384 area, 0 .. 1.
Field flowField(int width, int height, bool ridged, std::uint32_t seed);

} // namespace datagen
