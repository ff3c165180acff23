#pragma once
// Seeded hashing, a small deterministic generator and tileable gradient noise. Noise
// coordinates are in lattice cells; a period P makes the noise repeat every P cells, so a picture
// P cells wide wraps seamlessly at its edges.

#include <cstdint>

namespace datagen {

std::uint32_t hashInts(std::uint32_t x, std::uint32_t y, std::uint32_t seed);
// 0 .. 1 from a hash, exactly representable.
double hashUnit(std::uint32_t x, std::uint32_t y, std::uint32_t seed);

// splitmix64: the same sequence on every machine.
class Generator {
public:
    explicit Generator(std::uint64_t seed) : state(seed) {}
    std::uint64_t next();
    // 0 <= value < 1.
    double unit();
    double range(double low, double high) { return low + (high - low) * unit(); }
    // 0 .. n-1.
    int below(int n);

private:
    std::uint64_t state;
};

// Gradient noise in about -1 .. 1; repeats every `period` cells when period > 0.
double gradientNoise(double x, double y, int period, std::uint32_t seed);

struct FbmSettings {
    int octaves = 5;
    double gain = 0.5;   // amplitude factor per octave
    int period = 0;      // cells of the first octave per repeat (0: no wrap); doubles per octave
    std::uint32_t seed = 1;
};

// Sum of octaves, scaled back to about -1 .. 1.
double fbm(double x, double y, const FbmSettings& settings);
// 1 - |noise| per octave, sharpened: bright crests in 0 .. 1.
double ridgedFbm(double x, double y, const FbmSettings& settings);

} // namespace datagen
