#include "effects/GridMapLayer.h"

#include "core/SimdLevel.h"
#include "core/Truncate.h"
#include "effects/PictureSize.h"

#include <immintrin.h>

namespace {

constexpr int gridColumns = 33;
constexpr int gridRows = 25;
constexpr std::uint32_t lastTexel = 0x3FFFF; // 512 * 512 - 1

// The fetch of samplePixel. Weights are 8-bit fractions whose products are cut to 8 bits, so they
// add up to at most 256 and every channel's sum stays below 65,536: red and blue share one word.
inline std::uint32_t bilinearFetch(const std::uint32_t* texture, std::int32_t u, std::int32_t v) {
    std::uint32_t fx = u & 255, fy = v & 255;
    std::uint32_t index = (((v >> 8) & 511) << 9) | ((u >> 8) & 511);
    std::uint32_t c00 = texture[index];
    std::uint32_t c01 = texture[(index + 1) & lastTexel]; // column 511's neighbour is the next row's 0
    std::uint32_t c10 = texture[(index + 512) & lastTexel];
    std::uint32_t c11 = texture[(index + 513) & lastTexel];
    std::uint32_t w00 = ((256 - fy) * (256 - fx)) >> 8;
    std::uint32_t w01 = ((256 - fy) * fx) >> 8;
    std::uint32_t w10 = ((256 - fx) * fy) >> 8;
    std::uint32_t w11 = (fy * fx) >> 8;
    std::uint32_t redBlue =
        (w00 * (c00 & 0xFF00FF) + w01 * (c01 & 0xFF00FF) + w10 * (c10 & 0xFF00FF) + w11 * (c11 & 0xFF00FF)) >>
            8 &
        0xFF00FF;
    std::uint32_t green =
        (w00 * (c00 & 0xFF00) + w01 * (c01 & 0xFF00) + w10 * (c10 & 0xFF00) + w11 * (c11 & 0xFF00)) >> 8 &
        0xFF00;
    return redBlue | green;
}

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

// One 16 x 16 block: the left and right edges step down the rows, each row steps from the left
// edge to the right one in sixteenths (arithmetic shifts, as for the signed values).
struct BlockEdges {
    std::uint32_t leftV, leftU, rightV, rightU;
    std::uint32_t leftStepV, leftStepU, rightStepV, rightStepU;

    std::uint32_t rowStepV() const {
        return static_cast<std::uint32_t>(static_cast<std::int32_t>(rightV - leftV) >> 4);
    }
    std::uint32_t rowStepU() const {
        return static_cast<std::uint32_t>(static_cast<std::int32_t>(rightU - leftU) >> 4);
    }
    void nextRow() { leftV += leftStepV, leftU += leftStepU, rightV += rightStepV, rightU += rightStepU; }
};

void fillBlockSse2(std::uint32_t* row, const std::uint32_t* texture, BlockEdges edges) {
    for (int line = 0; line < 16; ++line, row += 512, edges.nextRow())
        sampleRowSse2(row, texture, edges.leftU, edges.leftV, edges.rowStepU(), edges.rowStepV());
}

__attribute__((target("avx2"))) void fillBlockAvx2(std::uint32_t* row, const std::uint32_t* texture,
                                                   BlockEdges edges) {
    for (int line = 0; line < 16; ++line, row += 512, edges.nextRow())
        sampleRowAvx2(row, texture, edges.leftU, edges.leftV, edges.rowStepU(), edges.rowStepV());
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
    for (int i = 0; i < gridRows; ++i)
        for (int j = 0; j < gridColumns; ++j)
            mapPoint(grid[i * gridColumns + j], j * 4096 - 65536, i * 4096 - 49152, seconds);
    fillBlocks(target);
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
void GridMapLayer::fillBlocks(Bitmap& target) {
    SimdLevel level = simdLevel();
    for (int blockRow = 0; blockRow < gridRows - 1; ++blockRow) {
        for (int blockColumn = 0; blockColumn < gridColumns - 1; ++blockColumn) {
            const std::int32_t* topLeft = grid[blockRow * gridColumns + blockColumn];
            const std::int32_t* topRight = topLeft + 2;
            const std::int32_t* bottomLeft = grid[(blockRow + 1) * gridColumns + blockColumn];
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
            if (level == SimdLevel::avx2) {
                fillBlockAvx2(row, texture, edges);
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
