#include "effects/MaskedFadeLayer.h"

#include "core/FadeEase.h"
#include "core/PixelOps.h"
#include "core/ScreenBands.h"
#include "core/SimdLevel.h"
#include "effects/Avx2Loops.h"
#include "effects/PictureSize.h"

#include <emmintrin.h>

#include <cstring>

namespace {

// Per colour channel floor(p * a / 256) + floor(q * b / 256), each product truncated on its own;
// with a + b <= 255 no channel carries. Top byte 0.
inline std::uint32_t weightedSum(std::uint32_t p, std::uint32_t a, std::uint32_t q, std::uint32_t b) {
    return scaleRGB(p, a) + scaleRGB(q, b);
}

// target = weightedSum(target, 255 - m, picture, m) with m the mask byte.
void compositePlain(std::uint32_t* target, const std::uint32_t* picture, const ByteMap* mask, int count) {
    for (int n = 0; n < count; ++n) {
        std::uint32_t m = mask[n];
        target[n] = weightedSum(target[n], 255 - m, picture[n], m);
    }
}

// The colours and the masks cross-fade with weights g (first pair) and f (second pair), then
// the blend is laid over the target through the blended mask.
void morphPlain(std::uint32_t* target, const std::uint32_t* from, const std::uint32_t* to,
                const ByteMap* fromMask, const ByteMap* toMask, std::uint32_t f, std::uint32_t g, int count) {
    for (int n = 0; n < count; ++n) {
        std::uint32_t colour = weightedSum(from[n], g, to[n], f);
        std::uint32_t m = (toMask[n] * f + fromMask[n] * g) >> 8;
        target[n] = weightedSum(target[n], 255 - m, colour, m);
    }
}

// Vector form of weightedSum for 16-bit lanes: even bytes are worked on in the low halves, odd
// bytes in the high halves, each with its own weight lane per pixel; the top byte is cleared.
struct Sse2WeightedSum {
    __m128i lowBytes = _mm_set1_epi16(0x00FF);
    __m128i highBytes = _mm_set1_epi16(static_cast<short>(0xFF00));
    __m128i colourBytes = _mm_set1_epi32(0x00FFFFFF);

    __m128i operator()(__m128i p, __m128i a, __m128i q, __m128i b) const {
        __m128i even = _mm_add_epi16(_mm_srli_epi16(_mm_mullo_epi16(_mm_and_si128(p, lowBytes), a), 8),
                                     _mm_srli_epi16(_mm_mullo_epi16(_mm_and_si128(q, lowBytes), b), 8));
        __m128i odd = _mm_add_epi16(_mm_and_si128(_mm_mullo_epi16(_mm_srli_epi16(p, 8), a), highBytes),
                                    _mm_and_si128(_mm_mullo_epi16(_mm_srli_epi16(q, 8), b), highBytes));
        return _mm_and_si128(_mm_or_si128(even, odd), colourBytes);
    }
};

// Four mask bytes widened to 16-bit lanes, each byte in the two lanes of its pixel.
inline __m128i loadMaskPairs(const ByteMap* mask) {
    std::int32_t bytes;
    std::memcpy(&bytes, mask, 4);
    __m128i words = _mm_unpacklo_epi8(_mm_cvtsi32_si128(bytes), _mm_setzero_si128());
    return _mm_unpacklo_epi16(words, words);
}

void compositeSse2(std::uint32_t* target, const std::uint32_t* picture, const ByteMap* mask, int count) {
    const Sse2WeightedSum weightedSum;
    const __m128i all255 = _mm_set1_epi16(255);
    for (int n = 0; n < count; n += 4) {
        __m128i m = loadMaskPairs(mask + n);
        __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(target + n));
        __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(picture + n));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + n),
                         weightedSum(s, _mm_sub_epi16(all255, m), p, m));
    }
}

void morphSse2(std::uint32_t* target, const std::uint32_t* from, const std::uint32_t* to,
               const ByteMap* fromMask, const ByteMap* toMask, std::uint32_t f, std::uint32_t g, int count) {
    const Sse2WeightedSum weightedSum;
    const __m128i all255 = _mm_set1_epi16(255);
    const __m128i toWeight = _mm_set1_epi16(static_cast<short>(f));
    const __m128i fromWeight = _mm_set1_epi16(static_cast<short>(g));
    for (int n = 0; n < count; n += 4) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + n));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(to + n));
        __m128i colour = weightedSum(a, fromWeight, b, toWeight);
        // toMask * f + fromMask * g stays below 65,536 because f + g = 255.
        __m128i m = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(loadMaskPairs(toMask + n), toWeight),
                                                 _mm_mullo_epi16(loadMaskPairs(fromMask + n), fromWeight)),
                                   8);
        __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(target + n));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + n),
                         weightedSum(s, _mm_sub_epi16(all255, m), colour, m));
    }
}

void compositeBand(std::uint32_t* target, const std::uint32_t* picture, const ByteMap* mask, int count) {
    switch (simdLevel()) {
    case SimdLevel::avx2:
        if constexpr (avx2Built)
            return maskedCompositeAvx2(target, picture, mask, count);
        [[fallthrough]];
    case SimdLevel::sse2:
        return compositeSse2(target, picture, mask, count);
    case SimdLevel::plain:
        return compositePlain(target, picture, mask, count);
    }
}

void composite(std::uint32_t* target, const std::uint32_t* picture, const ByteMap* mask) {
    forEachScreenBand([&](int first, int count) { compositeBand(target + first, picture + first, mask + first, count); });
}

void morphBand(std::uint32_t* target, const std::uint32_t* from, const std::uint32_t* to, const ByteMap* fromMask,
               const ByteMap* toMask, std::uint32_t f, std::uint32_t g, int count) {
    switch (simdLevel()) {
    case SimdLevel::avx2:
        if constexpr (avx2Built)
            return maskedMorphAvx2(target, from, to, fromMask, toMask, f, g, count);
        [[fallthrough]];
    case SimdLevel::sse2:
        return morphSse2(target, from, to, fromMask, toMask, f, g, count);
    case SimdLevel::plain:
        return morphPlain(target, from, to, fromMask, toMask, f, g, count);
    }
}

} // namespace

MaskedFadeLayer::MaskedFadeLayer(Bitmap& from, Bitmap& to, ByteMap* fromMask, ByteMap* toMask)
    : from(from.pixels), to(to.pixels), fromMask(fromMask), toMask(toMask) {
    requirePictureSize(from, 512, 384);
    requirePictureSize(to, 512, 384);
}

void MaskedFadeLayer::setFadeTime(double seconds) {
    rate = 1.0 / seconds;
}

void MaskedFadeLayer::render(Bitmap& target, double seconds) {
    advanceFade(position, lastTime, direction, rate, seconds);
    position = clampFade(position);
    if (position == 0.0)
        return composite(target.pixels, from, fromMask);
    if (position == 1.0)
        return composite(target.pixels, to, toMask);
    std::uint32_t f = fadeEase(*sineTable, position);
    std::uint32_t g = 255 - f;
    forEachScreenBand([&](int first, int count) {
        morphBand(target.pixels + first, from + first, to + first, fromMask + first, toMask + first, f, g, count);
    });
}
