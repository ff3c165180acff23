#include "MaskPainter.h"

#include "DetMath.h"
#include "Noise.h"

#include <algorithm>
#include <cmath>

namespace datagen {

Shape discShape(double cx, double cy, double radius) {
    return [=](double x, double y) { return std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy)) - radius; };
}

Shape ellipseShape(double cx, double cy, double radiusX, double radiusY) {
    return [=](double x, double y) {
        double u = (x - cx) / radiusX, v = (y - cy) / radiusY;
        // Scaled by the smaller radius: close enough to a distance for soft edges.
        return (std::sqrt(u * u + v * v) - 1.0) * std::min(radiusX, radiusY);
    };
}

Shape ringShape(double cx, double cy, double inner, double outer, double flatten) {
    return [=](double x, double y) {
        double dy = (y - cy) / flatten;
        double r = std::sqrt((x - cx) * (x - cx) + dy * dy);
        return std::max(inner - r, r - outer) * flatten;
    };
}

Shape crescentShape(double cx, double cy, double radius, double offsetX, double offsetY) {
    return subtractShape(discShape(cx, cy, radius), discShape(cx + offsetX, cy + offsetY, radius * 0.92));
}

Shape starburstShape(double cx, double cy, double radius, int points, double rayLength) {
    return [=](double x, double y) {
        double dx = x - cx, dy = y - cy;
        double r = std::sqrt(dx * dx + dy * dy);
        double angle = detAtan2(dy, dx);
        double ray = detPow(0.5 + 0.5 * detCos(angle * points), 6.0);
        double second = detPow(0.5 + 0.5 * detCos(angle * points + kPi), 10.0);
        return r - (radius + rayLength * ray + rayLength * 0.45 * second);
    };
}

Shape wavyBandShape(double centreY, double halfHeight, double waveHeight, double waveLength) {
    return [=](double x, double y) {
        double top = centreY - halfHeight + waveHeight * detSin(x / waveLength * kTwoPi);
        double bottom = centreY + halfHeight + waveHeight * detSin(x / waveLength * kTwoPi + 2.0);
        return std::max(top - y, y - bottom);
    };
}

Shape polygonShape(double cx, double cy, double radius, int sides, double turn) {
    return [=](double x, double y) {
        double dx = x - cx, dy = y - cy;
        double distance = -1e9;
        for (int side = 0; side < sides; ++side) {
            double angle = turn + kTwoPi * side / sides;
            distance = std::max(distance, dx * detCos(angle) + dy * detSin(angle) - radius);
        }
        return distance;
    };
}

Shape unionShape(Shape a, Shape b) {
    return [=](double x, double y) { return std::min(a(x, y), b(x, y)); };
}

Shape subtractShape(Shape a, Shape b) {
    return [=](double x, double y) { return std::max(a(x, y), -b(x, y)); };
}

void paintMask(Field& field, const Shape& shape, double feather) {
    for (int y = 0; y < field.height(); ++y)
        for (int x = 0; x < field.width(); ++x)
            field.at(x, y) = smoothStep(feather, -feather, shape(x + 0.5, y + 0.5));
}

void paintSkyMask(Field& field, unsigned seed) {
    FbmSettings hills{4, 0.5, 0, seed};
    for (int x = 0; x < field.width(); ++x) {
        double line = 150.0 + 40.0 * fbm(x / 140.0, 0.5, hills);
        for (int y = 0; y < field.height(); ++y)
            field.at(x, y) = smoothStep(line + 25.0, line - 70.0, y);
    }
}

} // namespace datagen
