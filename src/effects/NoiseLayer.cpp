#include "effects/NoiseLayer.h"

#include "core/FadeEase.h"
#include "core/PixelOps.h"
#include "core/ScreenSize.h"
#include "core/SimdLevel.h"

#include <immintrin.h>

#include <bit>

namespace {

// One static value: the low byte of the new state. (Unlike the other generators this one XORs
// before rotating and adds after.)
inline std::uint32_t nextGrey(std::uint32_t& state) {
    state = std::rotl(state ^ 157u, 11) + 157u;
    return state & 0xFF;
}

void fillStatic(std::uint32_t* target, std::uint32_t& state) {
    for (int n = 0; n < screenPixels; ++n)
        target[n] = nextGrey(state) * 0x01010101u;
}

// Per byte (b * a + grey * k) >> 8 with a + k = 255, so the sum stays below 65,536 and never
// needs the saturation to 255.
void mixStaticPlain(std::uint32_t* target, std::uint32_t& state, std::uint32_t k) {
    std::uint32_t a = 255 - k;
    for (int n = 0; n < screenPixels; ++n)
        target[n] = mixBytes(target[n], a, nextGrey(state) * 0x01010101u, k);
}

// The generator is a serial chain; the blend of each group of four pixels runs beside it. Even
// bytes are worked on in the low halves of 16-bit lanes, odd bytes in the high halves.
void mixStaticSse2(std::uint32_t* target, std::uint32_t& state, std::uint32_t k) {
    const __m128i lowBytes = _mm_set1_epi16(0x00FF);
    const __m128i highBytes = _mm_set1_epi16(static_cast<short>(0xFF00));
    const __m128i noiseWeight = _mm_set1_epi16(static_cast<short>(k));
    const __m128i pictureWeight = _mm_set1_epi16(static_cast<short>(255 - k));
    std::uint32_t s = state;
    for (int n = 0; n < screenPixels; n += 4) {
        std::uint32_t greys = nextGrey(s);
        greys |= nextGrey(s) << 8;
        greys |= nextGrey(s) << 16;
        greys |= nextGrey(s) << 24;
        __m128i noise = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(greys)), _mm_setzero_si128());
        noise = _mm_mullo_epi16(_mm_unpacklo_epi16(noise, noise), noiseWeight); // grey * k in both lanes
        __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(target + n));
        __m128i even = _mm_srli_epi16(
            _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(pixels, lowBytes), pictureWeight), noise), 8);
        __m128i odd = _mm_and_si128(
            _mm_add_epi16(_mm_mullo_epi16(_mm_srli_epi16(pixels, 8), pictureWeight), noise), highBytes);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + n), _mm_or_si128(even, odd));
    }
    state = s;
}

} // namespace

NoiseLayer::NoiseLayer() {
    position = 0.0;
    rate = 0.0;
    direction = 1.0;
}

void NoiseLayer::setFadeLimit(double limit) {
    fadeLimit = limit;
}

void NoiseLayer::render(Bitmap& target, double seconds) {
    advanceFade(position, lastTime, direction, rate, seconds);
    if (position < 0.0)
        position = 0.0;
    if (position > fadeLimit)
        position = fadeLimit;
    if (position == 1.0) {
        fillStatic(target.pixels, noiseState);
        return;
    }
    if (!(position > 0.0))
        return; // untouched, and the generator does not advance
    std::uint32_t k = static_cast<std::uint32_t>(fadeEase(*sineTable, position));
    if (simdLevel() == SimdLevel::plain)
        mixStaticPlain(target.pixels, noiseState, k);
    else
        mixStaticSse2(target.pixels, noiseState, k);
}
