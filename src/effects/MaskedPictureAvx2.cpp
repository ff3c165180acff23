// The masked picture's blend eight pixels at a time, every byte of every pixel as in the SSE2
// form: even bytes in the low halves of 16-bit lanes, odd bytes in the high halves.

#include "effects/Avx2Loops.h"

#include <immintrin.h>

__attribute__((target("avx2"))) void maskedPictureBlendAvx2(std::uint32_t* target, const std::uint32_t* picture,
                                                            const ByteMap* mask, int maskScale, int count) {
    const __m256i lowBytes = _mm256_set1_epi16(0x00FF);
    const __m256i highBytes = _mm256_set1_epi16(static_cast<short>(0xFF00));
    const __m256i all255 = _mm256_set1_epi16(255);
    const __m256i scale = _mm256_set1_epi16(static_cast<short>(maskScale));
    for (int n = 0; n < count; n += 8) {
        __m256i weights = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(mask + n)));
        weights = _mm256_srli_epi16(_mm256_mullo_epi16(weights, scale), 8);
        weights = _mm256_or_si256(weights, _mm256_slli_epi32(weights, 16)); // m in both halves
        __m256i inverse = _mm256_sub_epi16(all255, weights);

        __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(picture + n));
        __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(target + n));
        __m256i even = _mm256_add_epi16(
            _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_and_si256(p, lowBytes), weights), 8),
            _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_and_si256(s, lowBytes), inverse), 8));
        __m256i odd = _mm256_add_epi16(
            _mm256_and_si256(_mm256_mullo_epi16(_mm256_srli_epi16(p, 8), weights), highBytes),
            _mm256_and_si256(_mm256_mullo_epi16(_mm256_srli_epi16(s, 8), inverse), highBytes));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(target + n), _mm256_or_si256(even, odd));
    }
}
