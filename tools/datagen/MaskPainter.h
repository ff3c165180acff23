#pragma once
// Opacity masks: white where the picture covers the screen, black where the screen shows
// through, with soft edges. Every shape is a signed distance in pixels (negative inside).

#include "Canvas.h"

#include <functional>

namespace datagen {

using Shape = std::function<double(double x, double y)>;

Shape discShape(double cx, double cy, double radius);
Shape ellipseShape(double cx, double cy, double radiusX, double radiusY);
Shape ringShape(double cx, double cy, double inner, double outer, double flatten);
Shape crescentShape(double cx, double cy, double radius, double offsetX, double offsetY);
// A round body with `points` soft rays.
Shape starburstShape(double cx, double cy, double radius, int points, double rayLength);
// A horizontal band with wavy edges.
Shape wavyBandShape(double centreY, double halfHeight, double waveHeight, double waveLength);
Shape polygonShape(double cx, double cy, double radius, int sides, double turn);
Shape unionShape(Shape a, Shape b);
Shape subtractShape(Shape a, Shape b);

// Paints 1 inside the shape, 0 outside, with an edge `feather` pixels wide.
void paintMask(Field& field, const Shape& shape, double feather);
// The sky over the flight: white at the top, fading out above a hilly line.
void paintSkyMask(Field& field, unsigned seed);

} // namespace datagen
