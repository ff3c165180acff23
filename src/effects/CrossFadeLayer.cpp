#include "effects/CrossFadeLayer.h"

#include "core/FadeEase.h"
#include "core/PixelOps.h"
#include "core/ScreenBands.h"
#include "core/SimdLevel.h"
#include "effects/Avx2Loops.h"
#include "effects/PictureSize.h"
#include "effects/ScreenCopy.h"

#include <emmintrin.h>

namespace {

void copyUnlessSame(std::uint32_t* target, const std::uint32_t* source) {
    if (source != target)
        copyScreen(target, source);
}

// Per byte (from * g + to * f) >> 8; f + g = 255, so the sum stays below 65,536.
void blendPlain(std::uint32_t* target, const std::uint32_t* from, const std::uint32_t* to, int f, int g,
                int count) {
    for (int n = 0; n < count; ++n)
        target[n] = mixBytes(from[n], g, to[n], f);
}

// Even bytes in the low halves of 16-bit lanes, odd bytes in the high halves: each sum's wanted
// byte is then in place without packing.
void blendSse2(std::uint32_t* target, const std::uint32_t* from, const std::uint32_t* to, int f, int g,
               int count) {
    const __m128i lowBytes = _mm_set1_epi16(0x00FF);
    const __m128i highBytes = _mm_set1_epi16(static_cast<short>(0xFF00));
    const __m128i toWeight = _mm_set1_epi16(static_cast<short>(f));
    const __m128i fromWeight = _mm_set1_epi16(static_cast<short>(g));
    for (int n = 0; n < count; n += 4) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + n));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(to + n));
        __m128i even = _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(a, lowBytes), fromWeight),
                                     _mm_mullo_epi16(_mm_and_si128(b, lowBytes), toWeight));
        __m128i odd = _mm_add_epi16(_mm_mullo_epi16(_mm_srli_epi16(a, 8), fromWeight),
                                    _mm_mullo_epi16(_mm_srli_epi16(b, 8), toWeight));
        __m128i out = _mm_or_si128(_mm_srli_epi16(even, 8), _mm_and_si128(odd, highBytes));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + n), out);
    }
}

void blend(std::uint32_t* target, const std::uint32_t* from, const std::uint32_t* to, int f, int g, int count) {
    switch (simdLevel()) {
    case SimdLevel::avx2:
        if constexpr (avx2Built)
            return crossFadeBlendAvx2(target, from, to, f, g, count);
        [[fallthrough]];
    case SimdLevel::sse2:
        return blendSse2(target, from, to, f, g, count);
    case SimdLevel::plain:
        return blendPlain(target, from, to, f, g, count);
    }
}

} // namespace

CrossFadeLayer::CrossFadeLayer(Bitmap& from, Bitmap& to) : from(from.pixels), to(to.pixels) {
    requirePictureSize(from, 512, 384);
    requirePictureSize(to, 512, 384);
}

void CrossFadeLayer::setFadeTime(double seconds) {
    rate = 1.0 / seconds;
}

void CrossFadeLayer::setFadeDirection(int sign) {
    direction = fadeDirectionOf(sign);
}

void CrossFadeLayer::setFadePosition(double newPosition) {
    position = newPosition;
}

void CrossFadeLayer::render(Bitmap& target, double seconds) {
    advanceFade(position, lastTime, direction, rate, seconds);
    position = clampFade(position);
    if (position == 0.0) {
        copyUnlessSame(target.pixels, from);
        return;
    }
    if (position == 1.0) {
        copyUnlessSame(target.pixels, to);
        return;
    }
    int f = fadeEase(*sineTable, position);
    int g = 255 - f;
    forEachScreenBand([&](int first, int count) { blend(target.pixels + first, from + first, to + first, f, g, count); });
}
