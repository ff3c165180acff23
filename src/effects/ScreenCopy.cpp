#include "effects/ScreenCopy.h"

#include "core/ScreenBands.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// An explicit loop rather than the C library's copy, which picks its method by size: a band costs
// the same per pixel whatever its size (the library's copy of half a picture was once measured
// far slower here than its copy of the whole).
void copyPixels(std::uint32_t* target, const std::uint32_t* source, int count) {
    int i = 0;
#if defined(__SSE2__)
    for (; i + 8 <= count; i += 8) {
        __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i), first);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i + 4), second);
    }
#endif
    for (; i < count; ++i)
        target[i] = source[i];
}

void copyScreen(std::uint32_t* target, const std::uint32_t* source) {
    forEachScreenBand([&](int first, int count) { copyPixels(target + first, source + first, count); });
}
