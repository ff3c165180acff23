// The feedback mapper's two mixes eight pixels at a time, as in the SSE2 form: even bytes in the
// low halves of 16-bit lanes, odd bytes shifted down into them; each pair of weights adds up to
// 255, so every sum stays within 16 bits.

#include "core/ScreenSize.h"
#include "effects/Avx2Loops.h"

#include <immintrin.h>

namespace {

// (a * wa + b * wb) >> 8 in every 16-bit lane.
__attribute__((target("avx2"))) inline __m256i mixLanes(__m256i a, __m256i wa, __m256i b, __m256i wb) {
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a, wa), _mm256_mullo_epi16(b, wb)), 8);
}

} // namespace

__attribute__((target("avx2"))) void feedBackAvx2(std::uint32_t* buffer, const std::uint32_t* picture,
                                                  const std::uint32_t* screen, std::uint32_t keepWeight,
                                                  std::uint32_t pictureWeight, std::uint32_t mixWeight,
                                                  std::uint32_t screenWeight) {
    const __m256i lowBytes = _mm256_set1_epi16(0x00FF);
    const __m256i colourBytes = _mm256_set1_epi32(0x00FFFFFF);
    const __m256i keep = _mm256_set1_epi16(static_cast<short>(keepWeight));
    const __m256i pictureLanes = _mm256_set1_epi16(static_cast<short>(pictureWeight));
    const __m256i mix = _mm256_set1_epi16(static_cast<short>(mixWeight));
    const __m256i screenLanes = _mm256_set1_epi16(static_cast<short>(screenWeight));
    for (int i = 0; i < screenPixels; i += 8) {
        __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(buffer + i));
        __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(picture + i));
        __m256i t = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(screen + i));
        __m256i even =
            mixLanes(_mm256_and_si256(c, lowBytes), keep, _mm256_and_si256(p, lowBytes), pictureLanes);
        __m256i odd = mixLanes(_mm256_srli_epi16(c, 8), keep, _mm256_srli_epi16(p, 8), pictureLanes);
        even = mixLanes(even, mix, _mm256_and_si256(t, lowBytes), screenLanes);
        odd = mixLanes(odd, mix, _mm256_srli_epi16(t, 8), screenLanes);
        __m256i out = _mm256_and_si256(_mm256_or_si256(even, _mm256_slli_epi16(odd, 8)), colourBytes);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(buffer + i), out);
    }
}
