#include "effects/MaskedPictureLayer.h"

#include "core/FadeEase.h"
#include "core/PixelOps.h"
#include "core/ScreenBands.h"
#include "core/SimdLevel.h"
#include "effects/Avx2Loops.h"
#include "effects/PictureSize.h"

#include <emmintrin.h>

#include <cstring>

namespace {

// Every byte of every pixel, top byte included: s = (p * m >> 8) + (s * (255 - m) >> 8) with
// m = mask * maskScale >> 8 (maskScale 256 uses the mask as it is). The sum never passes 254.
void blendPlain(std::uint32_t* target, const std::uint32_t* picture, const ByteMap* mask, int maskScale,
                int count) {
    for (int n = 0; n < count; ++n) {
        std::uint32_t weight = (mask[n] * static_cast<std::uint32_t>(maskScale)) >> 8;
        target[n] = addSaturateBytes(scaleBytes(picture[n], weight), scaleBytes(target[n], 255 - weight));
    }
}

// Even bytes are worked on in the low halves of 16-bit lanes, odd bytes in the high halves, so a
// product's wanted byte lands in place and no packing is needed.
void blendSse2(std::uint32_t* target, const std::uint32_t* picture, const ByteMap* mask, int maskScale,
               int count) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i lowBytes = _mm_set1_epi16(0x00FF);
    const __m128i highBytes = _mm_set1_epi16(static_cast<short>(0xFF00));
    const __m128i all255 = _mm_set1_epi16(255);
    const __m128i scale = _mm_set1_epi16(static_cast<short>(maskScale));
    for (int n = 0; n < count; n += 4) {
        std::int32_t maskBytes;
        std::memcpy(&maskBytes, mask + n, 4);
        __m128i weights = _mm_unpacklo_epi8(_mm_cvtsi32_si128(maskBytes), zero);
        weights = _mm_srli_epi16(_mm_mullo_epi16(weights, scale), 8);
        weights = _mm_unpacklo_epi16(weights, weights); // m0 m0 m1 m1 m2 m2 m3 m3
        __m128i inverse = _mm_sub_epi16(all255, weights);

        __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(picture + n));
        __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(target + n));
        __m128i even = _mm_add_epi16(_mm_srli_epi16(_mm_mullo_epi16(_mm_and_si128(p, lowBytes), weights), 8),
                                     _mm_srli_epi16(_mm_mullo_epi16(_mm_and_si128(s, lowBytes), inverse), 8));
        __m128i odd = _mm_add_epi16(_mm_and_si128(_mm_mullo_epi16(_mm_srli_epi16(p, 8), weights), highBytes),
                                    _mm_and_si128(_mm_mullo_epi16(_mm_srli_epi16(s, 8), inverse), highBytes));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + n), _mm_or_si128(even, odd));
    }
}

void blend(std::uint32_t* target, const std::uint32_t* picture, const ByteMap* mask, int maskScale, int count) {
    switch (simdLevel()) {
    case SimdLevel::avx2:
        if constexpr (avx2Built)
            return maskedPictureBlendAvx2(target, picture, mask, maskScale, count);
        [[fallthrough]];
    case SimdLevel::sse2:
        return blendSse2(target, picture, mask, maskScale, count);
    case SimdLevel::plain:
        return blendPlain(target, picture, mask, maskScale, count);
    }
}

} // namespace

MaskedPictureLayer::MaskedPictureLayer(Bitmap& picture, ByteMap* mask) : picture(picture.pixels), mask(mask) {
    requirePictureSize(picture, 512, 384);
}

void MaskedPictureLayer::setFadeTime(double seconds) {
    rate = 1.0 / seconds;
}

void MaskedPictureLayer::setFadeDirection(int sign) {
    direction = fadeDirectionOf(sign);
}

void MaskedPictureLayer::setFadePosition(double newPosition) {
    position = newPosition;
}

void MaskedPictureLayer::render(Bitmap& target, double seconds) {
    advanceFade(position, lastTime, direction, rate, seconds);
    position = clampFade(position);
    if (position == 0.0)
        return;
    // At the end of the fade the mask is used as it is; on the way the eased weight scales it.
    int maskScale = position == 1.0 ? 256 : fadeEase(*sineTable, position);
    forEachScreenBand([&](int first, int count) {
        blend(target.pixels + first, picture + first, mask + first, maskScale, count);
    });
}
