// The cross-fade's blend eight pixels at a time: even bytes in the low halves of 16-bit lanes,
// odd bytes in the high halves, as in the SSE2 form.

#include "effects/Avx2Loops.h"

#include <immintrin.h>

__attribute__((target("avx2"))) void crossFadeBlendAvx2(std::uint32_t* target, const std::uint32_t* from,
                                                        const std::uint32_t* to, int f, int g, int count) {
    const __m256i lowBytes = _mm256_set1_epi16(0x00FF);
    const __m256i highBytes = _mm256_set1_epi16(static_cast<short>(0xFF00));
    const __m256i toWeight = _mm256_set1_epi16(static_cast<short>(f));
    const __m256i fromWeight = _mm256_set1_epi16(static_cast<short>(g));
    for (int n = 0; n < count; n += 8) {
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + n));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(to + n));
        __m256i even = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_and_si256(a, lowBytes), fromWeight),
                                        _mm256_mullo_epi16(_mm256_and_si256(b, lowBytes), toWeight));
        __m256i odd = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_srli_epi16(a, 8), fromWeight),
                                       _mm256_mullo_epi16(_mm256_srli_epi16(b, 8), toWeight));
        __m256i out = _mm256_or_si256(_mm256_srli_epi16(even, 8), _mm256_and_si256(odd, highBytes));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(target + n), out);
    }
}
