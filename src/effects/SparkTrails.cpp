#include "effects/SparkTrails.h"

#include "core/PixelOps.h"

#include <algorithm>
#include <emmintrin.h>

namespace {

// (a * b - c * d) >> 13 and (a * b + c * d) >> 13 with products and sums wrapping modulo 2^32.
std::int32_t turnDifference(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
    std::uint32_t value = static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b) -
                          static_cast<std::uint32_t>(c) * static_cast<std::uint32_t>(d);
    return static_cast<std::int32_t>(value) >> 13;
}

std::int32_t turnSum(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
    std::uint32_t value = static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b) +
                          static_cast<std::uint32_t>(c) * static_cast<std::uint32_t>(d);
    return static_cast<std::int32_t>(value) >> 13;
}

// The number of accumulation pixels the add touches for this target.
int trailPixelCount(const Bitmap& target) {
    if (target.width <= 0 || target.height <= 0)
        return 0;
    return static_cast<int>(std::min<std::int64_t>(std::int64_t{target.width} * target.height, trailPixels));
}

// One blurred pixel: four neighbours summed per channel (10 bits in a 16-bit lane), halved twice,
// less 1/64.
std::uint32_t blurredPixel(std::uint32_t up, std::uint32_t down, std::uint32_t left, std::uint32_t right) {
    std::uint32_t redBlue =
        (((up & redBlueMask) + (down & redBlueMask) + (left & redBlueMask) + (right & redBlueMask)) >> 2) &
        redBlueMask;
    std::uint32_t green =
        (((up & greenMask) + (down & greenMask) + (left & greenMask) + (right & greenMask)) >> 2) & greenMask;
    std::uint32_t mean = redBlue | green;
    return mean - ((mean >> 6) & 0x030303);
}

} // namespace

SparkRotation::SparkRotation(const SineTable& table, int angleX, int angleY, int angleZ)
    : sinX(table.sin(angleX)), cosX(table.cos(angleX)), sinY(table.sin(angleY)), cosY(table.cos(angleY)),
      sinZ(table.sin(angleZ)), cosZ(table.cos(angleZ)) {}

SparkParticle SparkRotation::turned(const SparkParticle& particle) const {
    std::int32_t a = turnDifference(particle.x, cosZ, particle.y, sinZ);
    std::int32_t u = turnSum(particle.y, cosZ, particle.x, sinZ);
    std::int32_t x = turnDifference(a, cosY, particle.z, sinY);
    std::int32_t v = turnSum(particle.z, cosY, a, sinY);
    std::int32_t y = turnDifference(u, cosX, v, sinX);
    std::int32_t z = turnSum(u, sinX, v, cosX);
    return SparkParticle(x, y, z, 0, 0, 0, particle.colour & colourMask, 0);
}

void addTrailsPlain(Bitmap& target, const std::uint32_t* accumulation) {
    int count = trailPixelCount(target);
    for (int i = 0; i < count; ++i)
        target.pixels[i] = addSaturateBytes(target.pixels[i], accumulation[i]);
}

void addTrails(Bitmap& target, const std::uint32_t* accumulation) {
    int count = trailPixelCount(target);
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        __m128i screen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(target.pixels + i));
        __m128i trail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(accumulation + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target.pixels + i), _mm_adds_epu8(screen, trail));
    }
    for (; i < count; ++i)
        target.pixels[i] = addSaturateBytes(target.pixels[i], accumulation[i]);
}

void blurTrailsPlain(std::uint32_t* accumulation, int width, int height) {
    int lastColumn = std::min(width, trailWidth) - 2;
    int lastRow = std::min(height, trailHeight) - 2;
    for (int row = 1; row <= lastRow; ++row) {
        std::uint32_t* line = accumulation + row * trailWidth;
        for (int column = 1; column <= lastColumn; ++column)
            line[column] = blurredPixel(line[column - trailWidth], line[column + trailWidth],
                                        line[column - 1], line[column + 1]);
    }
}

void blurTrails(std::uint32_t* accumulation, int width, int height) {
    blurTrailsPlain(accumulation, width, height);
}
