#include "TexturePainter.h"

#include "DetMath.h"
#include "Noise.h"

#include <cmath>

namespace datagen {

void paintMarble(Canvas& canvas, const std::vector<Colour>& palette, std::uint32_t seed) {
    const int period = 4;
    double scale = static_cast<double>(period) / canvas.width();
    FbmSettings warpA{5, 0.5, period, seed};
    FbmSettings warpB{5, 0.5, period, seed + 7};
    FbmSettings body{6, 0.55, period, seed + 13};
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x) {
            double u = x * scale, v = y * scale;
            // The noise wraps, so shifting its coordinates keeps the texture seamless.
            double qx = fbm(u, v, warpA), qy = fbm(u + 1.7, v + 2.3, warpA);
            double rx = fbm(u + 2.0 * qx + 0.3, v + 2.0 * qy + 1.1, warpB);
            double ry = fbm(u + 2.0 * qx + 2.8, v + 2.0 * qy + 0.6, warpB);
            double n = fbm(u + 2.2 * rx, v + 2.2 * ry, body);
            double t = clamp01(0.5 + 0.8 * n);
            Colour c = gradient(palette, t);
            double vein = detExp(-std::fabs(rx - ry) * 9.0);
            c = c + Colour{1.0, 0.95, 0.8} * (vein * 0.35);
            canvas.at(x, y) = c * (0.75 + 0.45 * clamp01(0.5 + qx));
        }
}

void paintGlints(Canvas& canvas, std::uint32_t seed) {
    const int period = 4;
    double scale = static_cast<double>(period) / canvas.width();
    FbmSettings clouds{6, 0.55, period, seed};
    FbmSettings sparks{3, 0.5, period * 16, seed + 5};
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x) {
            double u = x * scale, v = y * scale;
            double cloud = smoothStep(-0.1, 0.6, fbm(u, v, clouds));
            double spark = smoothStep(0.35, 0.8, fbm(u * 16.0, v * 16.0, sparks));
            Colour tint = mixColour(Colour{0.45, 0.65, 1.0}, Colour{1.0, 0.8, 0.5}, clamp01(0.5 + fbm(u + 3.0, v, clouds)));
            canvas.at(x, y) = tint * (cloud * cloud * 1.1) + Colour{1.0, 1.0, 0.95} * (spark * 0.9);
        }
}

void paintCyclicStrip(Canvas& canvas, const std::vector<Colour>& stops) {
    std::vector<Colour> loop = stops;
    loop.push_back(stops.front());
    for (int x = 0; x < canvas.width(); ++x) {
        Colour c = gradient(loop, static_cast<double>(x) / canvas.width());
        for (int y = 0; y < canvas.height(); ++y)
            canvas.at(x, y) = c;
    }
}

void paintGlowSprite(Field& field) {
    for (int y = 0; y < field.height(); ++y)
        for (int x = 0; x < field.width(); ++x) {
            double d2 = (x - 3.0) * (x - 3.0) + (y - 3.0) * (y - 3.0);
            // 1 at the centre cell, about 0.1 at the edge of the 7 x 7 block the sprite uses.
            field.at(x, y) = d2 > 12.0 ? 0.0 : detExp(-d2 * 0.26) - detExp(-12.0 * 0.26) * (d2 / 12.0);
        }
}

} // namespace datagen
