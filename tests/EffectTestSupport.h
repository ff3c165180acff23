#pragma once
// Small helpers for the effect tests: pictures that own their pixels, seeded random contents and a
// guard that runs a block at one vector level and restores the level afterwards.

#include "core/Bitmap.h"
#include "core/SimdLevel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

// A Bitmap with its own pixel storage.
struct TestPicture {
    TestPicture(int width, int height, std::uint32_t fill = 0)
        : storage(static_cast<std::size_t>(width) * height, fill) {
        bitmap.width = width;
        bitmap.height = height;
        bitmap.pixels = storage.data();
    }
    std::uint32_t& operator[](std::size_t i) { return storage[i]; }

    std::vector<std::uint32_t> storage;
    Bitmap bitmap;
};

inline void fillRandom(std::vector<std::uint32_t>& pixels, unsigned seed) {
    std::mt19937 generator(seed);
    for (auto& pixel : pixels)
        pixel = generator();
}

inline std::vector<std::uint8_t> randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::vector<std::uint8_t> bytes(count);
    for (auto& byte : bytes)
        byte = static_cast<std::uint8_t>(generator());
    return bytes;
}

class SimdLevelGuard {
  public:
    explicit SimdLevelGuard(SimdLevel level) : saved(simdLevel()) { setSimdLevel(level); }
    ~SimdLevelGuard() { setSimdLevel(saved); }

  private:
    SimdLevel saved;
};

// The vector levels this machine runs, above plain.
inline std::vector<SimdLevel> vectorLevels() {
    std::vector<SimdLevel> levels;
    for (SimdLevel level : {SimdLevel::sse2, SimdLevel::avx2})
        if (level <= supportedSimdLevel())
            levels.push_back(level);
    return levels;
}

constexpr int screenPixelCount = 512 * 384;

// Runs `draw`, which builds a layer, draws and returns what it drew, at the plain level and at
// every vector level, and expects the same result from each.
template <typename Draw> void expectVectorLevelsMatchPlain(Draw draw, const std::string& what) {
    std::vector<std::uint32_t> reference;
    {
        SimdLevelGuard plain(SimdLevel::plain);
        reference = draw();
    }
    for (SimdLevel level : vectorLevels()) {
        SimdLevelGuard guard(level);
        EXPECT_TRUE(draw() == reference) << what << ", level " << static_cast<int>(level);
    }
}
