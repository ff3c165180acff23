#include "platform/ptc/ShownPixels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ptc {

namespace {

constexpr std::uint32_t shownBits = 0xFFFFFF;

} // namespace

void copyShownPixelsScalar(std::uint32_t* target, const std::uint32_t* source, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        target[i] = source[i] & shownBits;
}

#if defined(__SSE2__)

void copyShownPixelsSse2(std::uint32_t* target, const std::uint32_t* source, std::size_t count) {
    const __m128i shown = _mm_set1_epi32(static_cast<int>(shownBits));
    std::size_t i = 0;
    // Two vectors a step: a frame row is a multiple of 8 pixels, the tail is for other widths.
    for (; i + 8 <= count; i += 8) {
        __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i), _mm_and_si128(first, shown));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i + 4), _mm_and_si128(second, shown));
    }
    copyShownPixelsScalar(target + i, source + i, count - i);
}

#else

void copyShownPixelsSse2(std::uint32_t* target, const std::uint32_t* source, std::size_t count) {
    copyShownPixelsScalar(target, source, count);
}

#endif

void copyShownPixels(std::uint32_t* target, const std::uint32_t* source, std::size_t count) {
    copyShownPixelsSse2(target, source, count);
}

} // namespace ptc
