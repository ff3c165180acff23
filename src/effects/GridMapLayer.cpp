#include "effects/GridMapLayer.h"

#include "core/BandPool.h"
#include "core/SimdLevel.h"
#include "core/Truncate.h"
#include "effects/GridMapFetch.h"
#include "effects/PictureSize.h"

#include <emmintrin.h>

namespace {

using gridmap::bilinearFetch;
using gridmap::BlockEdges;
using gridmap::lastTexel;

constexpr int gridColumns = 33;
constexpr int gridRows = 25;
// The weight pair of lane `lane` in both 32-bit halves of each 64-bit half.
template <int lane> inline __m128i broadcastLane(__m128i pairs) {
    return _mm_shuffle_epi32(pairs, lane * 0x55);
}

// One pixel's four texels: c00 c01 from one 8-byte load, c10 c11 from another; channels are
// interleaved so that madd multiplies each texel by its weight and adds the pairs.
template <int lane>
inline __m128i fetchChannelSums(const std::uint32_t* texture, const std::uint32_t* above,
                                const std::uint32_t* below, __m128i topWeights, __m128i bottomWeights) {
    const __m128i zero = _mm_setzero_si128();
    __m128i top = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(texture + above[lane]));
    __m128i bottom = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(texture + below[lane]));
    __m128i quad =
        _mm_shuffle_epi32(_mm_unpacklo_epi64(top, bottom), _MM_SHUFFLE(3, 1, 2, 0)); // c00 c10 c01 c11
    __m128i interleaved = _mm_unpacklo_epi8(quad, _mm_srli_si128(quad, 8));
    __m128i sums = _mm_add_epi32(
        _mm_madd_epi16(_mm_unpacklo_epi8(interleaved, zero), broadcastLane<lane>(topWeights)),
        _mm_madd_epi16(_mm_unpackhi_epi8(interleaved, zero), broadcastLane<lane>(bottomWeights)));
    return _mm_srli_epi32(sums, 8);
}

// Sixteen pixels from (u, v) in steps of (du, dv), the same as sixteen bilinearFetch calls.
inline void sampleRowSse2(std::uint32_t* out, const std::uint32_t* texture, std::uint32_t u, std::uint32_t v,
                          std::uint32_t du, std::uint32_t dv) {
    const __m128i fraction = _mm_set1_epi32(255);
    const __m128i coordinate = _mm_set1_epi32(511);
    const __m128i texels = _mm_set1_epi32(static_cast<int>(lastTexel));
    const __m128i rowStep = _mm_set1_epi32(512);
    const __m128i one = _mm_set1_epi32(256);
    const __m128i colourBytes = _mm_set1_epi32(0x00FFFFFF);
    __m128i us = _mm_setr_epi32(static_cast<int>(u), static_cast<int>(u + du), static_cast<int>(u + 2 * du),
                                static_cast<int>(u + 3 * du));
    __m128i vs = _mm_setr_epi32(static_cast<int>(v), static_cast<int>(v + dv), static_cast<int>(v + 2 * dv),
                                static_cast<int>(v + 3 * dv));
    const __m128i uStep = _mm_set1_epi32(static_cast<int>(4 * du));
    const __m128i vStep = _mm_set1_epi32(static_cast<int>(4 * dv));
    for (int group = 0; group < 4; ++group, us = _mm_add_epi32(us, uStep), vs = _mm_add_epi32(vs, vStep)) {
        __m128i fx = _mm_and_si128(us, fraction);
        __m128i fy = _mm_and_si128(vs, fraction);
        __m128i above = _mm_or_si128(_mm_slli_epi32(_mm_and_si128(_mm_srli_epi32(vs, 8), coordinate), 9),
                                     _mm_and_si128(_mm_srli_epi32(us, 8), coordinate));
        __m128i below = _mm_and_si128(_mm_add_epi32(above, rowStep), texels);
        // The last texel's right neighbour is texel 0, not the next one in memory.
        __m128i wraps = _mm_or_si128(_mm_cmpeq_epi32(above, texels), _mm_cmpeq_epi32(below, texels));
        if (_mm_movemask_epi8(wraps) != 0) {
            for (int k = 0; k < 4; ++k) {
                std::uint32_t step = 4 * group + k;
                out[step] = bilinearFetch(texture, static_cast<std::int32_t>(u + step * du),
                                          static_cast<std::int32_t>(v + step * dv));
            }
            continue;
        }
        // Products of 8-bit fractions fit the low 16 bits of each 32-bit lane (mullo_epi16); only
        // w00 can reach 65,536, so it is formed as 256 - fx - fy + w11, the same value.
        __m128i w11 = _mm_srli_epi32(_mm_mullo_epi16(fx, fy), 8);
        __m128i w01 = _mm_srli_epi32(_mm_mullo_epi16(_mm_sub_epi32(one, fy), fx), 8);
        __m128i w10 = _mm_srli_epi32(_mm_mullo_epi16(_mm_sub_epi32(one, fx), fy), 8);
        __m128i w00 = _mm_add_epi32(_mm_sub_epi32(_mm_sub_epi32(one, fx), fy), w11);
        __m128i topWeights = _mm_or_si128(w00, _mm_slli_epi32(w01, 16));
        __m128i bottomWeights = _mm_or_si128(w10, _mm_slli_epi32(w11, 16));
        alignas(16) std::uint32_t aboveIndex[4], belowIndex[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(aboveIndex), above);
        _mm_store_si128(reinterpret_cast<__m128i*>(belowIndex), below);
        __m128i first =
            _mm_packs_epi32(fetchChannelSums<0>(texture, aboveIndex, belowIndex, topWeights, bottomWeights),
                            fetchChannelSums<1>(texture, aboveIndex, belowIndex, topWeights, bottomWeights));
        __m128i second =
            _mm_packs_epi32(fetchChannelSums<2>(texture, aboveIndex, belowIndex, topWeights, bottomWeights),
                            fetchChannelSums<3>(texture, aboveIndex, belowIndex, topWeights, bottomWeights));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * group),
                         _mm_and_si128(_mm_packus_epi16(first, second), colourBytes));
    }
}

void fillBlockSse2(std::uint32_t* row, const std::uint32_t* texture, BlockEdges edges) {
    for (int line = 0; line < 16; ++line, row += 512, edges.nextRow())
        sampleRowSse2(row, texture, edges.leftU, edges.leftV, edges.rowStepU(), edges.rowStepV());
}

} // namespace

std::int32_t (*GridMapLayer::grid)[2] = nullptr;

GridMapLayer::GridMapLayer(Bitmap& texture) : GridMapLayer(texture.pixels) {
    requirePictureSize(texture, 512, 512);
}

GridMapLayer::GridMapLayer(std::uint32_t* texturePixels) : texture(texturePixels) {
    if (grid == nullptr)
        grid = new std::int32_t[gridColumns * gridRows][2];
}

void GridMapLayer::render(Bitmap& target, double seconds) {
    beginFrame(seconds);
    // Blocks write only their own pixels and read the texture, so rows of blocks may be split
    // over the band pool, unless the texture is the target itself (then the order matters).
    const std::uint32_t* textureEnd = texture + 512 * 512;
    const std::uint32_t* targetEnd = target.pixels + 512 * 384;
    bool textureIsTarget = texture < targetEnd && target.pixels < textureEnd;
    const int blockRows = gridRows - 1;
    if (textureIsTarget || bandPool().bands() == 1) {
        for (int i = 0; i < gridRows; ++i)
            mapGridRow(grid + i * gridColumns, i, seconds);
        fillBlocks(target, 0, blockRows, grid + blockRows * gridColumns);
        return;
    }
    // Each band maps the grid rows its blocks stand on. The row under its last blocks is the next
    // band's first: the band maps that one into a copy of its own.
    fillBands.forEachBand(bandPool(), blockRows, [&](int firstBlockRow, int endBlockRow) {
        for (int i = firstBlockRow; i < endBlockRow; ++i)
            mapGridRow(grid + i * gridColumns, i, seconds);
        std::int32_t below[gridColumns][2];
        std::int32_t(*bottom)[2] = endBlockRow == blockRows ? grid + blockRows * gridColumns : below;
        mapGridRow(bottom, endBlockRow, seconds);
        fillBlocks(target, firstBlockRow, endBlockRow, bottom);
    });
}

void GridMapLayer::mapGridRow(std::int32_t (*points)[2], int gridRow, double seconds) {
    for (int j = 0; j < gridColumns; ++j)
        mapPoint(points[j], j * 4096 - 65536, gridRow * 4096 - 49152, seconds);
}

void GridMapLayer::mapPoint(std::int32_t out[2], int x, int y, double seconds) {
    int angle = truncateToInt(seconds * 32.0);
    int cosine = sineTable->cos(angle), sine = sineTable->sin(angle);
    out[1] = (x * cosine + y * sine) >> 13;
    out[0] = (y * cosine - x * sine) >> 13;
}

void GridMapLayer::beginFrame(double) {}

void GridMapLayer::samplePixel(int u, int v, std::uint32_t& out) {
    out = bilinearFetch(texture, u, v);
}

// Coordinates are stepped in unsigned arithmetic, which wraps where a signed sum would overflow.
void GridMapLayer::fillBlocks(Bitmap& target, int firstBlockRow, int endBlockRow,
                              const std::int32_t (*lastBottom)[2]) {
    SimdLevel level = simdLevel();
    for (int blockRow = firstBlockRow; blockRow < endBlockRow; ++blockRow) {
        for (int blockColumn = 0; blockColumn < gridColumns - 1; ++blockColumn) {
            const std::int32_t* topLeft = grid[blockRow * gridColumns + blockColumn];
            const std::int32_t* topRight = topLeft + 2;
            const std::int32_t* bottomLeft =
                blockRow + 1 == endBlockRow ? lastBottom[blockColumn] : grid[(blockRow + 1) * gridColumns + blockColumn];
            const std::int32_t* bottomRight = bottomLeft + 2;
            // 65536 = 256 texels: the texture centre lands on the screen centre.
            BlockEdges edges{topLeft[0] + 65536u,
                             topLeft[1] + 65536u,
                             topRight[0] + 65536u,
                             topRight[1] + 65536u,
                             static_cast<std::uint32_t>((bottomLeft[0] - topLeft[0]) >> 4),
                             static_cast<std::uint32_t>((bottomLeft[1] - topLeft[1]) >> 4),
                             static_cast<std::uint32_t>((bottomRight[0] - topRight[0]) >> 4),
                             static_cast<std::uint32_t>((bottomRight[1] - topRight[1]) >> 4)};
            std::uint32_t* row = target.pixels + blockRow * 16 * 512 + blockColumn * 16;
            if (avx2Built && level == SimdLevel::avx2) {
                if constexpr (avx2Built)
                    fillGridBlockAvx2(row, texture, edges);
            } else if (level == SimdLevel::sse2) {
                fillBlockSse2(row, texture, edges);
            } else {
                for (int line = 0; line < 16; ++line, row += 512, edges.nextRow()) {
                    std::uint32_t v = edges.leftV, u = edges.leftU, stepV = edges.rowStepV(),
                                  stepU = edges.rowStepU();
                    for (int k = 0; k < 16; ++k, v += stepV, u += stepU)
                        samplePixel(static_cast<std::int32_t>(u), static_cast<std::int32_t>(v), row[k]);
                }
            }
        }
    }
}
