#include "Noise.h"

#include <cmath>

namespace datagen {

std::uint32_t hashInts(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
    std::uint32_t h = seed * 0x9E3779B9u ^ x * 0x85EBCA6Bu ^ y * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

double hashUnit(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
    return (hashInts(x, y, seed) >> 8) * (1.0 / 16777216.0);
}

std::uint64_t Generator::next() {
    state += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Generator::unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

int Generator::below(int n) { return static_cast<int>((next() >> 33) % static_cast<std::uint64_t>(n)); }

namespace {

// Sixteen unit directions, evenly spread (cos and sin of k * 22.5 degrees).
constexpr double kGradients[16][2] = {
    {1.0, 0.0},
    {0.92387953251128674, 0.38268343236508978},
    {0.70710678118654752, 0.70710678118654752},
    {0.38268343236508978, 0.92387953251128674},
    {0.0, 1.0},
    {-0.38268343236508978, 0.92387953251128674},
    {-0.70710678118654752, 0.70710678118654752},
    {-0.92387953251128674, 0.38268343236508978},
    {-1.0, 0.0},
    {-0.92387953251128674, -0.38268343236508978},
    {-0.70710678118654752, -0.70710678118654752},
    {-0.38268343236508978, -0.92387953251128674},
    {0.0, -1.0},
    {0.38268343236508978, -0.92387953251128674},
    {0.70710678118654752, -0.70710678118654752},
    {0.92387953251128674, -0.38268343236508978},
};

double fade(double t) { return t * t * t * (t * (t * 6.0 - 15.0) + 10.0); }

int wrapCell(long long cell, int period) {
    if (period <= 0)
        return static_cast<int>(cell);
    long long r = cell % period;
    return static_cast<int>(r < 0 ? r + period : r);
}

double corner(int cx, int cy, double dx, double dy, std::uint32_t seed) {
    const double* g = kGradients[hashInts(static_cast<std::uint32_t>(cx), static_cast<std::uint32_t>(cy), seed) & 15];
    return g[0] * dx + g[1] * dy;
}

} // namespace

double gradientNoise(double x, double y, int period, std::uint32_t seed) {
    double fx = std::floor(x);
    double fy = std::floor(y);
    long long ix = static_cast<long long>(fx);
    long long iy = static_cast<long long>(fy);
    double dx = x - fx;
    double dy = y - fy;
    int x0 = wrapCell(ix, period), x1 = wrapCell(ix + 1, period);
    int y0 = wrapCell(iy, period), y1 = wrapCell(iy + 1, period);
    double n00 = corner(x0, y0, dx, dy, seed);
    double n10 = corner(x1, y0, dx - 1.0, dy, seed);
    double n01 = corner(x0, y1, dx, dy - 1.0, seed);
    double n11 = corner(x1, y1, dx - 1.0, dy - 1.0, seed);
    double u = fade(dx);
    double v = fade(dy);
    double top = n00 + (n10 - n00) * u;
    double bottom = n01 + (n11 - n01) * u;
    // Gradient noise peaks near 0.7; scale it to about -1 .. 1.
    return (top + (bottom - top) * v) * 1.4;
}

double fbm(double x, double y, const FbmSettings& settings) {
    double sum = 0.0;
    double amplitude = 1.0;
    double total = 0.0;
    double frequency = 1.0;
    int period = settings.period;
    for (int octave = 0; octave < settings.octaves; ++octave) {
        sum += amplitude * gradientNoise(x * frequency, y * frequency, period, settings.seed + octave * 1013u);
        total += amplitude;
        amplitude *= settings.gain;
        frequency *= 2.0;
        period *= 2;
    }
    return sum / total;
}

double ridgedFbm(double x, double y, const FbmSettings& settings) {
    double sum = 0.0;
    double amplitude = 1.0;
    double total = 0.0;
    double frequency = 1.0;
    int period = settings.period;
    for (int octave = 0; octave < settings.octaves; ++octave) {
        double n = 1.0 - std::fabs(gradientNoise(x * frequency, y * frequency, period, settings.seed + octave * 7919u));
        sum += amplitude * n * n;
        total += amplitude;
        amplitude *= settings.gain;
        frequency *= 2.0;
        period *= 2;
    }
    return sum / total;
}

} // namespace datagen
