// The trail blur eight rows at a time. Row k draws column s - k at step s: its upper
// neighbour is then the pixel the row above drew at the step before, its left neighbour the one it
// drew itself, and its lower and right neighbours are not yet blurred. The rows' dependency chains
// (each pixel needs its freshly blurred left neighbour) advance side by side, a pixel in each
// 64-bit lane, channels in 16-bit lanes: per channel (sum >> 2) - (sum >> 8) is the mean of the
// four neighbours less its 64th, as in the SSE2 form.

#include "effects/Avx2Loops.h"
#include "effects/SparkTrails.h"

#include <immintrin.h>

#include <algorithm>
#include <cstddef>

namespace {

// The pixel at `at`, channels spread to the 16-bit lanes of the low 64-bit lane.
__attribute__((target("avx2"))) inline __m256i spreadPixel(const std::uint32_t* at) {
    return _mm256_cvtepu8_epi16(_mm_cvtsi32_si128(static_cast<int>(*at)));
}

// The pixels at at[0], at[511], at[1022] and at[1533] (one row down and one column left each
// time), spread one to a 64-bit lane.
__attribute__((target("avx2"))) inline __m256i spreadDiagonal(const std::uint32_t* at) {
    constexpr int down = trailWidth - 1;
    __m128i pixels = _mm_cvtsi32_si128(static_cast<int>(at[0]));
    pixels = _mm_insert_epi32(pixels, static_cast<int>(at[down]), 1);
    pixels = _mm_insert_epi32(pixels, static_cast<int>(at[2 * down]), 2);
    pixels = _mm_insert_epi32(pixels, static_cast<int>(at[3 * down]), 3);
    return _mm256_cvtepu8_epi16(pixels);
}

// Lanes (0, 1, 2, 3) moved to (first, 0, 1, 2): what each row's lower neighbour was for the row
// below, or each row's result for the row below's upper neighbour.
__attribute__((target("avx2"))) inline __m256i shiftDown(__m256i lanes, __m256i first) {
    return _mm256_blend_epi32(_mm256_permute4x64_epi64(lanes, 0x90), first, 0x03);
}

// Lane 3 of `lanes` in lane 0 (and the others).
__attribute__((target("avx2"))) inline __m256i lastLane(__m256i lanes) {
    return _mm256_permute4x64_epi64(lanes, 0xFF);
}

// One step of four rows: from the left neighbours (the rows' last results) and the lower ones, with
// the first row's right and upper neighbours given; each row's right neighbour is the row above's
// lower one, and its upper neighbour the row above's last result.
__attribute__((target("avx2"))) inline __m256i stepFour(__m256i left, __m256i down, __m256i firstRight,
                                                        __m256i firstUp) {
    __m256i sum = _mm256_add_epi16(_mm256_add_epi16(down, shiftDown(down, firstRight)),
                                   _mm256_add_epi16(left, shiftDown(left, firstUp)));
    return _mm256_sub_epi16(_mm256_srli_epi16(sum, 2), _mm256_srli_epi16(sum, 8));
}

// Stores the four results at at[0], at[511], at[1022] and at[1533], the top byte cleared.
__attribute__((target("avx2"))) inline void storeDiagonal(std::uint32_t* at, __m256i blurred) {
    constexpr int down = trailWidth - 1;
    __m256i packed = _mm256_and_si256(_mm256_packus_epi16(blurred, blurred), _mm256_set1_epi32(0x00FFFFFF));
    __m128i upperPair = _mm256_castsi256_si128(packed);
    __m128i lowerPair = _mm256_extracti128_si256(packed, 1);
    at[0] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(upperPair));
    at[down] = static_cast<std::uint32_t>(_mm_extract_epi32(upperPair, 1));
    at[2 * down] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(lowerPair));
    at[3 * down] = static_cast<std::uint32_t>(_mm_extract_epi32(lowerPair, 1));
}

} // namespace

// Eight rows as two groups of four, the lower group's first row four columns behind the upper
// group's: its upper neighbour is the upper group's last result, and its right neighbour that
// group's last lower one. The two chains overlap in the pipeline.
__attribute__((target("avx2"))) void blurRowOctetAvx2(std::uint32_t* accumulation, int top, int lastColumn,
                                                      int firstStep, int endStep) {
    std::uint32_t* upperRows = accumulation + top * trailWidth;
    std::uint32_t* lowerRows = upperRows + 4 * trailWidth;
    int step = firstStep;
    for (; step < std::min(endStep, 8); ++step)
        blurTrailDiagonalStep(upperRows, 8, lastColumn, step);
    const int vectorEnd = std::min(endStep, lastColumn + 1);
    if (step < vectorEnd) {
        __m256i upper = spreadDiagonal(upperRows + step - 1);
        __m256i lower = spreadDiagonal(lowerRows + step - 5);
        for (; step < vectorEnd; ++step) {
            __m256i upperDown = spreadDiagonal(upperRows + trailWidth + step);
            __m256i lowerDown = spreadDiagonal(lowerRows + trailWidth + step - 4);
            __m256i lowerUp = lastLane(upper);
            upper = stepFour(upper, upperDown, spreadPixel(upperRows + step + 1),
                             spreadPixel(upperRows + step - trailWidth));
            lower = stepFour(lower, lowerDown, lastLane(upperDown), lowerUp);
            storeDiagonal(upperRows + step, upper);
            storeDiagonal(lowerRows + step - 4, lower);
        }
    }
    for (; step < endStep; ++step)
        blurTrailDiagonalStep(upperRows, 8, lastColumn, step);
}

namespace {

// (a * b - c * d) >> 13 and (a * b + c * d) >> 13 per lane, products and sums wrapping modulo 2^32.
__attribute__((target("avx2"))) inline __m256i turnDifference(__m256i a, __m256i b, __m256i c, __m256i d) {
    return _mm256_srai_epi32(_mm256_sub_epi32(_mm256_mullo_epi32(a, b), _mm256_mullo_epi32(c, d)), 13);
}

__attribute__((target("avx2"))) inline __m256i turnSum(__m256i a, __m256i b, __m256i c, __m256i d) {
    return _mm256_srai_epi32(_mm256_add_epi32(_mm256_mullo_epi32(a, b), _mm256_mullo_epi32(c, d)), 13);
}

} // namespace

__attribute__((target("avx2"))) int turnSparksAvx2(const std::int32_t* sinesAndCosines,
                                                   const SparkParticle* particles, int count, std::int32_t* x,
                                                   std::int32_t* y, std::int32_t* z, std::uint32_t* colours) {
    static_assert(sizeof(SparkParticle) == 32 && offsetof(SparkParticle, y) == 4 &&
                      offsetof(SparkParticle, z) == 8 && offsetof(SparkParticle, colour) == 28,
                  "the gathers below read the particles' fields at these offsets");
    const __m256i sinX = _mm256_set1_epi32(sinesAndCosines[0]), cosX = _mm256_set1_epi32(sinesAndCosines[1]);
    const __m256i sinY = _mm256_set1_epi32(sinesAndCosines[2]), cosY = _mm256_set1_epi32(sinesAndCosines[3]);
    const __m256i sinZ = _mm256_set1_epi32(sinesAndCosines[4]), cosZ = _mm256_set1_epi32(sinesAndCosines[5]);
    const __m256i colourBytes = _mm256_set1_epi32(0x00FFFFFF);
    // Eight particles' fields, 32 bytes apart.
    const __m256i stride = _mm256_setr_epi32(0, 8, 16, 24, 32, 40, 48, 56);
    const int whole = count - count % 8;
    for (int i = 0; i < whole; i += 8) {
        const int* fields = reinterpret_cast<const int*>(particles + i);
        __m256i px = _mm256_i32gather_epi32(fields, stride, 4);
        __m256i py = _mm256_i32gather_epi32(fields + 1, stride, 4);
        __m256i pz = _mm256_i32gather_epi32(fields + 2, stride, 4);
        __m256i colour = _mm256_i32gather_epi32(fields + 7, stride, 4);
        __m256i a = turnDifference(px, cosZ, py, sinZ);
        __m256i u = turnSum(py, cosZ, px, sinZ);
        __m256i v = turnSum(pz, cosY, a, sinY);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(x + i), turnDifference(a, cosY, pz, sinY));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(y + i), turnDifference(u, cosX, v, sinX));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(z + i), turnSum(u, sinX, v, cosX));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(colours + i), _mm256_and_si256(colour, colourBytes));
    }
    return whole;
}
