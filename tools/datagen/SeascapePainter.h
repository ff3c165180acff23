#pragma once
// Skies over the sea: a sky gradient with sun or moon, clouds, stars and auroras, island
// silhouettes on the horizon, and a sea that mirrors all of it through small waves.

#include "Canvas.h"

#include <cstdint>
#include <vector>

namespace datagen {

struct SeascapeStyle {
    std::vector<Colour> sky;    // from the top of the picture to the horizon
    std::vector<Colour> sea;    // from the horizon to the bottom
    double horizon = 260.0;     // row of the horizon
    // Sun (or moon when `moon` is set): centre, radius of the disc, colour of disc and halo.
    double sunX = 256.0, sunY = 200.0, sunRadius = 0.0, haloRadius = 120.0;
    Colour sunColour{1.0, 0.9, 0.7};
    Colour haloColour{0.5, 0.3, 0.1};
    bool moon = false;
    double cloudCover = 0.0;    // 0: clear, 1: overcast
    Colour cloudLit{1.0, 0.8, 0.6};
    Colour cloudShade{0.3, 0.2, 0.3};
    double aurora = 0.0;        // strength of the aurora curtains
    Colour auroraLow{0.2, 1.0, 0.5};
    Colour auroraHigh{0.6, 0.2, 0.9};
    double auroraBase = 150.0;  // row where the curtains end at the bottom
    int stars = 0;
    double starBrightness = 0.8;
    int islands = 0;            // number of islands on the horizon
    double islandHeight = 40.0;
    Colour islandColour{0.05, 0.05, 0.08};
    double glitter = 0.6;       // strength of the sun's path on the water
    std::uint32_t seed = 1;
};

void paintSeascape(Canvas& canvas, const SeascapeStyle& style);

} // namespace datagen
