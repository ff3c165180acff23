// The masked fade's composite and morph eight pixels at a time, as in the SSE2 forms: even bytes
// in the low halves of 16-bit lanes, odd bytes in the high halves, each pixel's weight in both
// lanes of its pixel; each product is truncated on its own and the top byte is cleared.

#include "effects/Avx2Loops.h"

#include <immintrin.h>

namespace {

struct Avx2WeightedSum {
    __m256i lowBytes, highBytes, colourBytes;

    __attribute__((target("avx2"))) Avx2WeightedSum()
        : lowBytes(_mm256_set1_epi16(0x00FF)), highBytes(_mm256_set1_epi16(static_cast<short>(0xFF00))),
          colourBytes(_mm256_set1_epi32(0x00FFFFFF)) {}

    __attribute__((target("avx2"))) __m256i operator()(__m256i p, __m256i a, __m256i q, __m256i b) const {
        __m256i even =
            _mm256_add_epi16(_mm256_srli_epi16(_mm256_mullo_epi16(_mm256_and_si256(p, lowBytes), a), 8),
                             _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_and_si256(q, lowBytes), b), 8));
        __m256i odd =
            _mm256_add_epi16(_mm256_and_si256(_mm256_mullo_epi16(_mm256_srli_epi16(p, 8), a), highBytes),
                             _mm256_and_si256(_mm256_mullo_epi16(_mm256_srli_epi16(q, 8), b), highBytes));
        return _mm256_and_si256(_mm256_or_si256(even, odd), colourBytes);
    }
};

// Eight mask bytes, each in the two 16-bit lanes of its pixel.
__attribute__((target("avx2"))) inline __m256i loadMaskPairsAvx2(const ByteMap* mask) {
    __m256i words = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(mask)));
    return _mm256_or_si256(words, _mm256_slli_epi32(words, 16));
}

} // namespace

__attribute__((target("avx2"))) void maskedCompositeAvx2(std::uint32_t* target, const std::uint32_t* picture,
                                                         const ByteMap* mask, int count) {
    const Avx2WeightedSum weightedSum;
    const __m256i all255 = _mm256_set1_epi16(255);
    for (int n = 0; n < count; n += 8) {
        __m256i m = loadMaskPairsAvx2(mask + n);
        __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(target + n));
        __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(picture + n));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(target + n),
                            weightedSum(s, _mm256_sub_epi16(all255, m), p, m));
    }
}

__attribute__((target("avx2"))) void maskedMorphAvx2(std::uint32_t* target, const std::uint32_t* from,
                                                     const std::uint32_t* to, const ByteMap* fromMask,
                                                     const ByteMap* toMask, std::uint32_t f, std::uint32_t g,
                                                     int count) {
    const Avx2WeightedSum weightedSum;
    const __m256i all255 = _mm256_set1_epi16(255);
    const __m256i toWeight = _mm256_set1_epi16(static_cast<short>(f));
    const __m256i fromWeight = _mm256_set1_epi16(static_cast<short>(g));
    for (int n = 0; n < count; n += 8) {
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + n));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(to + n));
        __m256i colour = weightedSum(a, fromWeight, b, toWeight);
        __m256i m = _mm256_srli_epi16(
            _mm256_add_epi16(_mm256_mullo_epi16(loadMaskPairsAvx2(toMask + n), toWeight),
                             _mm256_mullo_epi16(loadMaskPairsAvx2(fromMask + n), fromWeight)),
            8);
        __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(target + n));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(target + n),
                            weightedSum(s, _mm256_sub_epi16(all255, m), colour, m));
    }
}
