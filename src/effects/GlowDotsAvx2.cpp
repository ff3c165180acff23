// The AVX2 dot projection. Integer divisions become double divisions, which truncate to the same
// quotient: for |n| < 2^31 and 0 < d < 2^31 the rounding error of n / d stays below 1 / d, the
// least distance from a non-integer quotient to the next integer.

#include "effects/GlowDotBands.h"
#include "effects/GlowDots.h"
#include "effects/GlowPoint.h"

#include <immintrin.h>

#include <algorithm>
#include <cstdint>

namespace {

// Eight int32 quotients n / d, truncated toward zero; d > 0 in every lane.
__attribute__((target("avx2"))) __m256i divide(__m256i numerator, __m256i divisor) {
    __m256d lowQuotient = _mm256_div_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(numerator)),
                                        _mm256_cvtepi32_pd(_mm256_castsi256_si128(divisor)));
    __m256d highQuotient = _mm256_div_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(numerator, 1)),
                                         _mm256_cvtepi32_pd(_mm256_extracti128_si256(divisor, 1)));
    return _mm256_set_m128i(_mm256_cvttpd_epi32(highQuotient), _mm256_cvttpd_epi32(lowQuotient));
}

// ((a * b) >> 12) * brightness >> 12 for non-negative lanes that fit (a, b < 1024).
__attribute__((target("avx2"))) __m256i cornerWeight(__m256i a, __m256i b, __m256i brightness) {
    __m256i area = _mm256_srli_epi32(_mm256_mullo_epi32(a, b), 12);
    return _mm256_srli_epi32(_mm256_mullo_epi32(area, brightness), 12);
}

// The four pixels of a dot inside the picture, in two 64-bit rows, with their weights in the same
// order: the light of addGlow for each, added with byte saturation onto the pixels with their low
// bits cleared. Equal to addGlow, whose sums of even bytes saturate at 254 the same way.
__attribute__((target("avx2"))) void blendInside(std::uint32_t* pixel, std::uint32_t colour,
                                                 __m128i weights) {
    __m128i colours = _mm_set1_epi32(static_cast<int>(colour));
    __m128i redBlue =
        _mm_and_si128(_mm_mullo_epi32(_mm_and_si128(colours, _mm_set1_epi32(0x00FF00FF)), weights),
                      _mm_set1_epi32(static_cast<int>(0xFE00FE00)));
    __m128i green =
        _mm_and_si128(_mm_mullo_epi32(_mm_and_si128(colours, _mm_set1_epi32(0x0000FF00)), weights),
                      _mm_set1_epi32(0x00FE0000));
    __m128i light = _mm_srli_epi32(_mm_or_si128(redBlue, green), 8);
    const __m128i evenBytes = _mm_set1_epi32(static_cast<int>(0xFEFEFEFE));
    __m128i pixels = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(pixel)),
                                        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pixel + 512)));
    __m128i sum = _mm_and_si128(_mm_adds_epu8(_mm_and_si128(pixels, evenBytes), light), evenBytes);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pixel), sum);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pixel + 512), _mm_unpackhi_epi64(sum, sum));
}

// Regroups the four weight vectors (one corner of eight dots each) into one vector of four corners
// per dot. Dot k lands in quads[2k] for k < 4 and quads[2(k - 4) + 1] after.
__attribute__((target("avx2"))) void storeWeightsByDot(__m256i topLeft, __m256i topRight, __m256i bottomLeft,
                                                       __m256i bottomRight, __m128i quads[8]) {
    __m256i tops01 = _mm256_unpacklo_epi32(topLeft, topRight);
    __m256i bottoms01 = _mm256_unpacklo_epi32(bottomLeft, bottomRight);
    __m256i tops23 = _mm256_unpackhi_epi32(topLeft, topRight);
    __m256i bottoms23 = _mm256_unpackhi_epi32(bottomLeft, bottomRight);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(quads + 0), _mm256_unpacklo_epi64(tops01, bottoms01));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(quads + 2), _mm256_unpackhi_epi64(tops01, bottoms01));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(quads + 4), _mm256_unpacklo_epi64(tops23, bottoms23));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(quads + 6), _mm256_unpackhi_epi64(tops23, bottoms23));
}

} // namespace

namespace {

// The projection of eight dots from `first` on, as placeGlowDot gives it: their columns, rows and
// weights (one vector of four corners per dot, dot k in quads[2k] for k < 4 and quads[2(k - 4) + 1]
// after). Returns the lanes with something to draw.
struct EightDots {
    alignas(32) std::int32_t columns[8];
    alignas(32) std::int32_t rows[8];
    alignas(32) __m128i weightsByDot[8];

    __m128i weights(int lane) const { return weightsByDot[lane < 4 ? 2 * lane : 2 * (lane - 4) + 1]; }
};

class GlowProjection {
  public:
    __attribute__((target("avx2"))) GlowProjection(const Bitmap& target, int focal, int depth)
        : depths(_mm256_set1_epi32(depth)), twoDepths(_mm256_set1_epi32(2 * depth)),
          focals(_mm256_set1_epi32(focal)),
          centreX(_mm256_set1_epi32(static_cast<int>(((target.width / 2) << 10) - 512))),
          centreY(_mm256_set1_epi32(static_cast<int>(((target.height / 2) << 10) - 512))) {}

    __attribute__((target("avx2"))) unsigned place(const GlowDotBatch& dots, int first,
                                                   EightDots& out) const {
        const __m256i fractionMask = _mm256_set1_epi32(1023);
        const __m256i ones = _mm256_set1_epi32(1);
        __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dots.x + first));
        __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dots.y + first));
        __m256i z = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dots.z + first));

        __m256i distance = _mm256_add_epi32(_mm256_srai_epi32(z, 4), depths);
        __m256i visible = _mm256_cmpgt_epi32(distance, _mm256_setzero_si256());
        unsigned visibleLanes = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(visible)));
        if (visibleLanes == 0)
            return 0;
        distance = _mm256_blendv_epi8(ones, distance, visible);

        // clamp(z - depth, -depth, depth), formed without overflow.
        __m256i offset = _mm256_sub_epi32(
            _mm256_min_epi32(_mm256_max_epi32(z, _mm256_setzero_si256()), twoDepths), depths);
        __m256i brightness = divide(_mm256_slli_epi32(_mm256_sub_epi32(twoDepths, offset), 10), twoDepths);

        __m256i screenX = _mm256_add_epi32(divide(_mm256_mullo_epi32(x, focals), distance), centreX);
        __m256i screenY = _mm256_add_epi32(divide(_mm256_mullo_epi32(y, focals), distance), centreY);
        __m256i fractionX = _mm256_and_si256(screenX, fractionMask);
        __m256i fractionY = _mm256_and_si256(screenY, fractionMask);
        __m256i restX = _mm256_sub_epi32(fractionMask, fractionX);
        __m256i restY = _mm256_sub_epi32(fractionMask, fractionY);

        _mm256_store_si256(reinterpret_cast<__m256i*>(out.columns), _mm256_srai_epi32(screenX, 10));
        _mm256_store_si256(reinterpret_cast<__m256i*>(out.rows), _mm256_srai_epi32(screenY, 10));
        storeWeightsByDot(cornerWeight(restY, restX, brightness), cornerWeight(restY, fractionX, brightness),
                          cornerWeight(restX, fractionY, brightness),
                          cornerWeight(fractionY, fractionX, brightness), out.weightsByDot);
        return visibleLanes;
    }

  private:
    __m256i depths, twoDepths, focals, centreX, centreY;
};

} // namespace

__attribute__((target("avx2"))) void addGlowDotsAvx2(Bitmap& target, const GlowDotBatch& dots, int focal,
                                                     int depth, int margin) {
    if (depth <= 0 || depth > 65536)
        return;
    GlowProjection projection(target, focal, depth);
    EightDots eight;
    int i = 0;
    for (; i + 8 <= dots.count; i += 8) {
        unsigned visibleLanes = projection.place(dots, i, eight);
        for (int lane = 0; lane < 8; ++lane) {
            if ((visibleLanes >> lane & 1) == 0)
                continue;
            __m128i weights = eight.weights(lane);
            GlowDotPlacement placement{eight.columns[lane], eight.rows[lane], {}};
            std::uint32_t colour = dots.colour[i + lane];
            if (glowDotInside(target, placement, margin)) {
                blendInside(target.pixels + placement.row * 512 + placement.column, colour, weights);
            } else {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(placement.weights), weights);
                addGlowCorners(target, placement, colour, margin);
            }
        }
    }
    for (; i < dots.count; ++i)
        addGlowDot(target, dots.x[i], dots.y[i], dots.z[i], dots.colour[i], focal, depth, margin);
}

__attribute__((target("avx2"))) void placeGlowDotsAvx2(const Bitmap& target, const GlowDotBatch& dots,
                                                       int focal, int depth, GlowDotPlacement* placements) {
    if (depth <= 0 || depth > 65536) {
        for (int i = 0; i < dots.count; ++i)
            placements[i].column = hiddenGlowDot;
        return;
    }
    GlowProjection projection(target, focal, depth);
    EightDots eight;
    int i = 0;
    for (; i + 8 <= dots.count; i += 8) {
        unsigned visibleLanes = projection.place(dots, i, eight);
        for (int lane = 0; lane < 8; ++lane) {
            GlowDotPlacement& placement = placements[i + lane];
            if ((visibleLanes >> lane & 1) == 0) {
                placement.column = hiddenGlowDot;
                continue;
            }
            placement.column = eight.columns[lane];
            placement.row = eight.rows[lane];
            _mm_storeu_si128(reinterpret_cast<__m128i*>(placement.weights), eight.weights(lane));
        }
    }
    for (; i < dots.count; ++i)
        if (!placeGlowDot(target.width, target.height, dots.x[i], dots.y[i], dots.z[i], focal, depth,
                          placements[i]))
            placements[i].column = hiddenGlowDot;
}

__attribute__((target("avx2"))) void addGlowDotPlacementsAvx2(Bitmap& target, const GlowDotPlacement* placements,
                                                              const std::uint32_t* colours, int count, int margin) {
    for (int i = 0; i < count; ++i) {
        const GlowDotPlacement& placement = placements[i];
        if (placement.column == hiddenGlowDot)
            continue;
        if (glowDotInside(target, placement, margin))
            blendInside(target.pixels + placement.row * 512 + placement.column, colours[i],
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(placement.weights)));
        else
            addGlowCorners(target, placement, colours[i], margin);
    }
}

namespace {

// For each mask of eight lanes, the numbers of its set lanes in order (the rest 0).
struct LanesOfMask {
    std::uint64_t lanes[256];

    constexpr LanesOfMask() : lanes() {
        for (int mask = 0; mask < 256; ++mask) {
            int found = 0;
            for (int lane = 0; lane < 8; ++lane)
                if (mask >> lane & 1)
                    lanes[mask] |= std::uint64_t(lane) << (8 * found++);
        }
    }
};

constexpr LanesOfMask lanesOfMask;

// The indices in [start, end) whose row lies in [lowestRow, endRow), in order, into `picked` (room
// for end - start + 8); returns their number. lowestRow > INT32_MIN, the row of a hidden dot. Eight rows are compared at a time and the indices of
// those inside are packed together: the dots come in no order of rows, so a branch per dot would
// be a coin toss for the processor's predictor.
__attribute__((target("avx2"))) int pickDotsInRows(const std::int32_t* rows, int start, int end,
                                                   std::int32_t lowestRow, std::int32_t endRow,
                                                   std::int32_t* picked) {
    const __m256i below = _mm256_set1_epi32(lowestRow - 1);
    const __m256i above = _mm256_set1_epi32(endRow);
    int found = 0;
    int i = start;
    for (; i + 8 <= end; i += 8) {
        __m256i row = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows + i));
        // lowestRow <= row < endRow, as row > lowestRow - 1 and endRow > row.
        __m256i inside = _mm256_and_si256(_mm256_cmpgt_epi32(row, below), _mm256_cmpgt_epi32(above, row));
        int mask = _mm256_movemask_ps(_mm256_castsi256_ps(inside));
        __m256i lanes = _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(static_cast<long long>(lanesOfMask.lanes[mask])));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(picked + found),
                            _mm256_add_epi32(lanes, _mm256_set1_epi32(i)));
        found += __builtin_popcount(static_cast<unsigned>(mask));
    }
    for (; i < end; ++i) {
        picked[found] = i;
        found += rows[i] >= lowestRow && rows[i] < endRow ? 1 : 0;
    }
    return found;
}

} // namespace

__attribute__((target("avx2"))) void addPlacedGlowDotsAvx2(Bitmap& target, const GlowDotPlacement* placements,
                                                           const std::int32_t* rows, const std::uint32_t* colours,
                                                           int count, int margin, int firstRow, int endRow) {
    constexpr int pickSize = 512;
    std::int32_t picked[pickSize + 8];
    for (int start = 0; start < count; start += pickSize) {
        // The dot covers rows row and row + 1; a hidden dot's row is below every band.
        int found = pickDotsInRows(rows, start, std::min(start + pickSize, count), firstRow - 1, endRow, picked);
        for (int k = 0; k < found; ++k) {
            const int i = picked[k];
            const std::int32_t row = rows[i];
            const GlowDotPlacement& placement = placements[i];
            if (placement.column == hiddenGlowDot)
                continue;
            if (row >= firstRow && row + 1 < endRow && glowDotInside(target, placement, margin))
                blendInside(target.pixels + row * 512 + placement.column, colours[i],
                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(placement.weights)));
            else
                addGlowCornersInRows(target, placement, colours[i], margin, firstRow, endRow);
        }
    }
}
