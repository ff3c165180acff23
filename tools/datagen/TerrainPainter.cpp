#include "TerrainPainter.h"

#include "DetMath.h"
#include "Noise.h"

#include <algorithm>
#include <cmath>

namespace datagen {

namespace {

// Stretches the values so that `clip` of the range at each end saturates.
void normaliseWithClip(Field& field, double clip) {
    field.normalise(-clip, 1.0 + clip);
    for (double& v : field.data())
        v = clamp01(v);
}

} // namespace

Field reliefField(int size, Relief relief, std::uint32_t seed) {
    Field field(size, size);
    // Four cells of the first octave across the picture: the noise repeats exactly at the edge.
    const int period = 4;
    double scale = static_cast<double>(period) / size;
    FbmSettings broad{6, 0.5, period, seed};
    FbmSettings sharp{6, 0.5, period, seed + 101};
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double u = x * scale, v = y * scale;
            double value = 0.0;
            switch (relief) {
            case Relief::RollingHills:
                value = fbm(u, v, broad);
                break;
            case Relief::Ridges:
                value = ridgedFbm(u, v, sharp) + 0.3 * fbm(u, v, broad);
                break;
            case Relief::Dunes: {
                double drift = fbm(u, v, broad);
                // Ripples along one axis, 24 across the picture, bent by the broad noise.
                double ripple = detSin((v / period * 24.0 + drift * 2.0) * kTwoPi);
                value = drift * 0.8 + 0.25 * ripple * (0.6 + 0.4 * fbm(u * 2.0, v * 2.0, sharp));
                break;
            }
            case Relief::Terraces: {
                double h = fbm(u, v, broad) * 0.5 + 0.5;
                double steps = h * 7.0;
                double floorStep = std::floor(steps);
                double frac = steps - floorStep;
                value = (floorStep + smoothStep(0.7, 1.0, frac)) / 7.0 + 0.04 * fbm(u * 4.0, v * 4.0, sharp);
                break;
            }
            }
            field.at(x, y) = value;
        }
    normaliseWithClip(field, 0.01);
    return field;
}

namespace {

// The flight terrain before the sea is cut flat, and the level where the sea is cut.
Field flightRelief(int size, double& seaLevel, double& top) {
    Field field(size, size);
    const int period = 4;
    double scale = static_cast<double>(period) / size;
    FbmSettings land{7, 0.5, period, 9001};
    FbmSettings peaks{6, 0.5, period, 9002};
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double u = x * scale, v = y * scale;
            field.at(x, y) = fbm(u, v, land) + 0.35 * ridgedFbm(u, v, peaks);
        }
    // The sea: everything below the 20th percentile.
    std::vector<double> sorted = field.data();
    std::sort(sorted.begin(), sorted.end());
    seaLevel = sorted[sorted.size() / 5];
    top = sorted.back();
    return field;
}

} // namespace

Field flightTerrain(int size) {
    double seaLevel = 0.0, top = 0.0;
    Field field = flightRelief(size, seaLevel, top);
    for (double& v : field.data()) {
        double land = clamp01((v - seaLevel) / (top - seaLevel));
        // Mostly low land with a few high peaks; whole steps so the sea level stays exact.
        double height = land <= 0.0 ? 0.0 : 1.0 + std::floor(detPow(land, 1.7) * 254.0 + 0.5);
        v = height / 255.0;
    }
    return field;
}

Field flightSeaDepth(int size) {
    double seaLevel = 0.0, top = 0.0;
    Field field = flightRelief(size, seaLevel, top);
    double bottom = *std::min_element(field.data().begin(), field.data().end());
    for (double& v : field.data())
        v = clamp01((seaLevel - v) / (seaLevel - bottom));
    return field;
}

Field averageFields(const Field& a, const Field& b) {
    Field result(a.width(), a.height());
    for (std::size_t i = 0; i < result.data().size(); ++i)
        result.data()[i] = (a.data()[i] + b.data()[i]) * 0.5;
    return result;
}

void paintTerrainColours(Canvas& canvas, const Field& heights, const std::vector<Colour>& palette, double waterLine,
                         std::uint32_t seed, const Field* seaDepth) {
    FbmSettings variation{5, 0.5, 16, seed};
    double scale = 16.0 / canvas.width();
    const double lightX = -0.55, lightY = -0.45, lightZ = 0.70;
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x) {
            double h = heights.at(x, y);
            double slopeX = (heights.wrappedAt(x + 1, y) - heights.wrappedAt(x - 1, y)) * 120.0;
            double slopeY = (heights.wrappedAt(x, y + 1) - heights.wrappedAt(x, y - 1)) * 120.0;
            double length = std::sqrt(slopeX * slopeX + slopeY * slopeY + 1.0);
            double light = (-slopeX * lightX - slopeY * lightY + lightZ) / length;
            double noise = fbm(x * scale, y * scale, variation);
            Colour c;
            if (h <= waterLine) {
                double depth = seaDepth ? detPow(seaDepth->at(x, y), 0.6) : 0.5;
                // Darker than it looks: the flight adds the mirrored hills on top.
                c = gradient({hexColour(0x2A9A98), hexColour(0x136C90), hexColour(0x0A3A78), hexColour(0x05204A)},
                             clamp01(depth + 0.08 * noise));
            } else {
                // Above a sea most land is low: the square root gives the shore only a thin rim.
                double t = waterLine >= 0.0 ? std::sqrt((h - waterLine) / (1.0 - waterLine)) : h;
                double steep = clamp01(std::sqrt(slopeX * slopeX + slopeY * slopeY) * 0.6);
                Colour ground = gradient(palette, clamp01(t + 0.06 * noise));
                ground = mixColour(ground, hexColour(0x6E6258), steep * 0.5 * (1.0 - smoothStep(0.8, 0.9, t)));
                c = ground * (0.35 + 0.85 * clamp01(light));
            }
            canvas.at(x, y) = c;
        }
}

Field flowField(int width, int height, bool ridged, std::uint32_t seed) {
    Field field(width, height);
    FbmSettings settings{5, 0.5, 0, seed};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double u = x / 150.0, v = y / 150.0;
            field.at(x, y) = ridged ? ridgedFbm(u, v, settings) : fbm(u, v, settings);
        }
    field.blur(3, 2);
    normaliseWithClip(field, 0.01);
    return field;
}

} // namespace datagen
