#pragma once
// Grid movies: frames of 129 x 97 colour samples stacked one below the other, a flowing,
// seamlessly looping animation (every motion completes whole cycles over the frame count).

#include "Canvas.h"

#include <cstdint>
#include <vector>

namespace datagen {

inline constexpr int kMovieColumns = 129;
inline constexpr int kMovieRows = 97;

struct MovieStyle {
    std::vector<Colour> palette; // cycled: the last colour runs back into the first
    double scale = 40.0;         // size of the flowing shapes in grid samples
    double colourCycles = 1.0;   // whole turns of the palette over the loop
    std::uint32_t seed = 1;
};

// A canvas of 129 x (97 * frames).
void paintMovie(Canvas& canvas, int frames, const MovieStyle& style);

} // namespace datagen
