#include "effects/ScreenFadePixels.h"

#include "core/BandPool.h"
#include "core/PixelOps.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

void darkenPixelsScalar(std::uint32_t* pixels, std::size_t count, int weight) {
    for (std::size_t i = 0; i < count; ++i)
        pixels[i] = scaleBytes(pixels[i], static_cast<std::uint32_t>(weight));
}

void whitenPixelsScalar(std::uint32_t* pixels, std::size_t count, int weight) {
    std::uint32_t keep = static_cast<std::uint32_t>(255 - weight);
    std::uint32_t lift = static_cast<std::uint32_t>(weight) * 0x01010101u;
    for (std::size_t i = 0; i < count; ++i)
        pixels[i] = addSaturateBytes(scaleBytes(pixels[i], keep), lift);
}

namespace {

// Every pixel changes on its own, so runs of whole 512-pixel rows go to the band pool's threads.
void inBands(std::uint32_t* pixels, std::size_t count, int weight,
             void (*kernel)(std::uint32_t*, std::size_t, int)) {
    constexpr std::size_t rowPixels = 512;
    int rows = static_cast<int>((count + rowPixels - 1) / rowPixels);
    bandPool().forEachBand(rows, [&](int firstRow, int endRow) {
        std::size_t first = static_cast<std::size_t>(firstRow) * rowPixels;
        std::size_t end = std::min(count, static_cast<std::size_t>(endRow) * rowPixels);
        kernel(pixels + first, end - first, weight);
    });
}

} // namespace

#if defined(__SSE2__)

namespace {

// Four pixels: each byte widened to 16 bits, multiplied (the product of two bytes fits 16 bits),
// shifted back by 8 and packed; the pack never saturates because every lane is below 256.
inline __m128i scaleFour(__m128i four, __m128i weight) {
    __m128i zero = _mm_setzero_si128();
    __m128i low = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(four, zero), weight), 8);
    __m128i high = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(four, zero), weight), 8);
    return _mm_packus_epi16(low, high);
}

} // namespace

void darkenPixelsSse2(std::uint32_t* pixels, std::size_t count, int weight) {
    __m128i weights = _mm_set1_epi16(static_cast<short>(weight));
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        __m128i* at = reinterpret_cast<__m128i*>(pixels + i);
        _mm_storeu_si128(at, scaleFour(_mm_loadu_si128(at), weights));
    }
    darkenPixelsScalar(pixels + i, count - i, weight);
}

void whitenPixelsSse2(std::uint32_t* pixels, std::size_t count, int weight) {
    __m128i keep = _mm_set1_epi16(static_cast<short>(255 - weight));
    __m128i lift = _mm_set1_epi8(static_cast<char>(weight));
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        __m128i* at = reinterpret_cast<__m128i*>(pixels + i);
        _mm_storeu_si128(at, _mm_adds_epu8(scaleFour(_mm_loadu_si128(at), keep), lift));
    }
    whitenPixelsScalar(pixels + i, count - i, weight);
}

void darkenPixels(std::uint32_t* pixels, std::size_t count, int weight) {
    inBands(pixels, count, weight, darkenPixelsSse2);
}

void whitenPixels(std::uint32_t* pixels, std::size_t count, int weight) {
    inBands(pixels, count, weight, whitenPixelsSse2);
}

#else

void darkenPixelsSse2(std::uint32_t* pixels, std::size_t count, int weight) {
    darkenPixelsScalar(pixels, count, weight);
}

void whitenPixelsSse2(std::uint32_t* pixels, std::size_t count, int weight) {
    whitenPixelsScalar(pixels, count, weight);
}

void darkenPixels(std::uint32_t* pixels, std::size_t count, int weight) {
    inBands(pixels, count, weight, darkenPixelsScalar);
}

void whitenPixels(std::uint32_t* pixels, std::size_t count, int weight) {
    inBands(pixels, count, weight, whitenPixelsScalar);
}

#endif
