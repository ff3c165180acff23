#pragma once
// Space: nebulae over star fields, planets lit from one side (rocky, oceanic, banded, with
// rings and atmospheres) and spiral galaxies.

#include "Canvas.h"

#include <cstdint>
#include <vector>

namespace datagen {

// Coloured gas clouds and stars over black; `glow` scales the gas.
void paintNebula(Canvas& canvas, const std::vector<Colour>& palette, double glow, std::uint32_t seed);

enum class PlanetSurface { Rock, Ocean, Bands };

struct PlanetStyle {
    double centreX = 256.0, centreY = 192.0, radius = 140.0;
    double lightX = -0.6, lightY = -0.4, lightZ = 0.7; // towards the sun (normalised by the painter)
    PlanetSurface surface = PlanetSurface::Rock;
    std::vector<Colour> palette;          // surface colours, low to high (or band colours)
    Colour atmosphere{0.3, 0.6, 1.0};
    double atmosphereStrength = 0.0;
    double ringInner = 0.0, ringOuter = 0.0; // in planet radii; 0: no ring
    double ringTilt = 0.3;                   // minor / major axis of the ring ellipse
    Colour ringColour{0.9, 0.8, 0.6};
    std::uint32_t seed = 1;
};

// Paints the planet (with ring and atmosphere) over what the canvas holds.
void paintPlanet(Canvas& canvas, const PlanetStyle& style);

struct GalaxyStyle {
    double centreX = 256.0, centreY = 256.0, size = 200.0;
    double tilt = 0.55;  // flattening of the disc
    double turn = 0.4;   // rotation of the picture, radians
    Colour core{1.0, 0.9, 0.7};
    Colour arms{0.45, 0.6, 1.0};
    Colour nebulae{1.0, 0.35, 0.6};
    std::uint32_t seed = 1;
};

void paintGalaxy(Canvas& canvas, const GalaxyStyle& style);

} // namespace datagen
