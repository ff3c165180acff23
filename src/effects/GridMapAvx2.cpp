// The grid mapper's block fill eight pixels at a time: each texel pair is one 8-byte load, pshufb
// interleaves the pair's channels and madd weighs them, as the SSE2 form does four at a time.

#include "effects/GridMapFetch.h"

#include <immintrin.h>

namespace {

using gridmap::bilinearFetch;
using gridmap::lastTexel;

// Texel pairs (index, index + 1) of pixels `first`, `first` + 1 in the low lane and `first` + 4,
// `first` + 5 in the high lane.
__attribute__((target("avx2"))) inline __m256i loadFourPairs(const std::uint32_t* texels,
                                                             const std::uint32_t* index, int first) {
    auto pair = [&](int k) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(texels + index[k])); };
    __m128i low = _mm_unpacklo_epi64(pair(first), pair(first + 1));
    __m128i high = _mm_unpacklo_epi64(pair(first + 4), pair(first + 5));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

// Channel sums >> 8 of pixels `first`, `first` + 1 (low lane) and `first` + 4, `first` + 5 (high
// lane), packed to 16 bits in that order. The pshufb interleaves each texel pair's channels and
// drops the top bytes, so madd weighs the pair in one step and the top lanes stay 0.
template <int first>
__attribute__((target("avx2"))) inline __m256i fourPixels(const std::uint32_t* texture,
                                                          const std::uint32_t* index, __m256i topWeights,
                                                          __m256i bottomWeights) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i interleave = _mm256_setr_epi8(0, 4, 1, 5, 2, 6, -1, -1, 8, 12, 9, 13, 10, 14, -1, -1, 0, 4,
                                                1, 5, 2, 6, -1, -1, 8, 12, 9, 13, 10, 14, -1, -1);
    constexpr int evenPick = first * 0x55, oddPick = (first + 1) * 0x55;
    __m256i top = _mm256_shuffle_epi8(loadFourPairs(texture, index, first), interleave);
    __m256i bottom = _mm256_shuffle_epi8(loadFourPairs(texture + 512, index, first), interleave);
    __m256i evenSums = _mm256_add_epi32(
        _mm256_madd_epi16(_mm256_unpacklo_epi8(top, zero), _mm256_shuffle_epi32(topWeights, evenPick)),
        _mm256_madd_epi16(_mm256_unpacklo_epi8(bottom, zero), _mm256_shuffle_epi32(bottomWeights, evenPick)));
    __m256i oddSums = _mm256_add_epi32(
        _mm256_madd_epi16(_mm256_unpackhi_epi8(top, zero), _mm256_shuffle_epi32(topWeights, oddPick)),
        _mm256_madd_epi16(_mm256_unpackhi_epi8(bottom, zero), _mm256_shuffle_epi32(bottomWeights, oddPick)));
    return _mm256_packs_epi32(_mm256_srli_epi32(evenSums, 8), _mm256_srli_epi32(oddSums, 8));
}

// The same sixteen pixels eight at a time: each texel pair is one 8-byte load, pshufb interleaves
// the pair's channels, and madd weighs them as in the SSE2 form.
__attribute__((target("avx2"), always_inline)) inline void sampleRowAvx2(std::uint32_t* out,
                                                                         const std::uint32_t* texture,
                                                                         std::uint32_t u, std::uint32_t v,
                                                                         std::uint32_t du, std::uint32_t dv) {
    const __m256i fraction = _mm256_set1_epi32(255);
    const __m256i coordinate = _mm256_set1_epi32(511);
    const __m256i lastUnwrapped = _mm256_set1_epi32(static_cast<int>(lastTexel - 513));
    const __m256i one = _mm256_set1_epi32(256);
    const __m256i steps = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256i us = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(u)),
                                  _mm256_mullo_epi32(steps, _mm256_set1_epi32(static_cast<int>(du))));
    __m256i vs = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(v)),
                                  _mm256_mullo_epi32(steps, _mm256_set1_epi32(static_cast<int>(dv))));
    const __m256i uStep = _mm256_set1_epi32(static_cast<int>(8 * du));
    const __m256i vStep = _mm256_set1_epi32(static_cast<int>(8 * dv));
    for (int group = 0; group < 2;
         ++group, us = _mm256_add_epi32(us, uStep), vs = _mm256_add_epi32(vs, vStep)) {
        __m256i fx = _mm256_and_si256(us, fraction);
        __m256i fy = _mm256_and_si256(vs, fraction);
        __m256i above =
            _mm256_or_si256(_mm256_slli_epi32(_mm256_and_si256(_mm256_srli_epi32(vs, 8), coordinate), 9),
                            _mm256_and_si256(_mm256_srli_epi32(us, 8), coordinate));
        // From the last column of row 510 on, a pair or the row below wraps to the texture's start.
        if (_mm256_movemask_epi8(_mm256_cmpgt_epi32(above, lastUnwrapped)) != 0) {
            for (int k = 0; k < 8; ++k) {
                std::uint32_t step = 8 * group + k;
                out[step] = bilinearFetch(texture, static_cast<std::int32_t>(u + step * du),
                                          static_cast<std::int32_t>(v + step * dv));
            }
            continue;
        }
        __m256i w11 = _mm256_srli_epi32(_mm256_mullo_epi16(fx, fy), 8);
        __m256i w01 = _mm256_srli_epi32(_mm256_mullo_epi16(_mm256_sub_epi32(one, fy), fx), 8);
        __m256i w10 = _mm256_srli_epi32(_mm256_mullo_epi16(_mm256_sub_epi32(one, fx), fy), 8);
        __m256i w00 = _mm256_add_epi32(_mm256_sub_epi32(_mm256_sub_epi32(one, fx), fy), w11);
        __m256i topWeights = _mm256_or_si256(w00, _mm256_slli_epi32(w01, 16));
        __m256i bottomWeights = _mm256_or_si256(w10, _mm256_slli_epi32(w11, 16));
        alignas(32) std::uint32_t aboveIndex[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(aboveIndex), above);
        // Pixels 0 1 | 4 5 and 2 3 | 6 7 pack into 0 1 2 3 | 4 5 6 7.
        __m256i pixels = _mm256_packus_epi16(fourPixels<0>(texture, aboveIndex, topWeights, bottomWeights),
                                             fourPixels<2>(texture, aboveIndex, topWeights, bottomWeights));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8 * group), pixels);
    }
}

} // namespace

__attribute__((target("avx2"))) void fillGridBlockAvx2(std::uint32_t* row, const std::uint32_t* texture,
                                                       gridmap::BlockEdges edges) {
    for (int line = 0; line < 16; ++line, row += 512, edges.nextRow())
        sampleRowAvx2(row, texture, edges.leftU, edges.leftV, edges.rowStepU(), edges.rowStepV());
}
