// Radial blur, in place, from the centre outwards: rows from the centre row down, then up; in each
// row columns from the centre column right, then left. Samples nearer the centre are therefore
// already blurred, which carries light along every ray in one pass.
// stepX/stepY: offset towards the centre in 1/32768 pixels (integer part >> 15, fraction & 0x7FFF;
// the column fraction keeps 8 bits). Sample positions are clamped to the image.

#include "effects/RadialBlurLayer.h"

#include "core/SimdLevel.h"
#include "core/Truncate.h"

#include <algorithm>
#include <cmath>
#include <emmintrin.h>

namespace {

constexpr int imageWidth = 512;
constexpr int imageHeight = 384;

// Upper half of the signed 32-bit product, as a 16-bit multiply-high gives it.
inline int multiplyHigh(int p, int q) {
    return (p * q) >> 16;
}

// One channel of the blend; every intermediate fits a signed 16-bit lane.
inline int blendChannel(int p00, int p01, int p10, int p11, int own, int fx, int fy, int keepWeight) {
    int a = p00 + 2 * multiplyHigh(p10 - p00, fy);
    int b = p01 + 2 * multiplyHigh(p11 - p01, fy);
    int m = a + 2 * multiplyHigh(b - a, fx);
    int out = m + 2 * multiplyHigh(own, keepWeight);
    return std::clamp(out, 0, 255);
}

} // namespace

// Everything the pixel loop needs, derived from the offset tables: per column the two sample
// columns and the fraction, per row the two sample rows and the fraction, and the visiting order.
struct RadialBlurLayer::Sampling {
    std::int32_t column0[imageWidth], column1[imageWidth], fractionX[imageWidth];
    std::int32_t rowStart0[imageHeight], rowStart1[imageHeight], fractionY[imageHeight];
    std::int16_t columnOrder[imageWidth];
    std::int16_t rowOrder[imageHeight];
    int keepWeight;
};

RadialBlurLayer::RadialBlurLayer() = default;

void RadialBlurLayer::setParameters(float newStrength, float newKeep) {
    strength = newStrength;
    keep = newKeep;
}

void RadialBlurLayer::setCentre(float x, float y) {
    centreX = std::floor(x);
    centreY = std::floor(y);
}

namespace {

// Indices from `centre` up to count - 1, then from centre - 1 down to 0; a centre outside the range
// still visits every index once, in the order its nearest edge gives.
void fillVisitOrder(std::int16_t* order, int count, int centre) {
    int n = 0;
    for (int i = std::max(centre, 0); i < count; ++i)
        order[n++] = static_cast<std::int16_t>(i);
    for (int i = std::min(centre, count) - 1; i >= 0; --i)
        order[n++] = static_cast<std::int16_t>(i);
}

} // namespace

RadialBlurLayer::Sampling RadialBlurLayer::prepare() {
    Sampling s;
    for (int x = 0; x < imageWidth; ++x) {
        stepX[x] = truncateToInt((centreX - static_cast<float>(x)) * strength * 32768.0);
        int column = std::clamp(x + (stepX[x] >> 15), 0, imageWidth - 1);
        s.column0[x] = column;
        s.column1[x] = std::min(column + 1, imageWidth - 1);
        s.fractionX[x] = ((stepX[x] & 0x7FFF) >> 7) << 7;
    }
    for (int y = 0; y < imageHeight; ++y) {
        stepY[y] = truncateToInt((centreY - static_cast<float>(y)) * strength * 32768.0);
        int row = std::clamp(y + (stepY[y] >> 15), 0, imageHeight - 1);
        s.rowStart0[y] = row * imageWidth;
        s.rowStart1[y] = std::min(row + 1, imageHeight - 1) * imageWidth;
        s.fractionY[y] = stepY[y] & 0x7FFF;
    }
    // The weight of the own value lives in a signed 16-bit lane.
    s.keepWeight = static_cast<std::int16_t>(truncateToInt(keep * 32767.0));
    fillVisitOrder(s.columnOrder, imageWidth, truncateToInt(centreX));
    fillVisitOrder(s.rowOrder, imageHeight, truncateToInt(centreY));
    return s;
}

void RadialBlurLayer::render(Bitmap& image, double) {
    if (simdLevel() >= SimdLevel::sse2)
        blurSse2(image.pixels);
    else
        blurPlain(image.pixels);
}

void RadialBlurLayer::blurPlain(std::uint32_t* pixels) {
    Sampling s = prepare();
    for (int yi = 0; yi < imageHeight; ++yi) {
        int y = s.rowOrder[yi];
        const std::uint32_t* row0 = pixels + s.rowStart0[y];
        const std::uint32_t* row1 = pixels + s.rowStart1[y];
        int fy = s.fractionY[y];
        std::uint32_t* out = pixels + y * imageWidth;
        for (int xi = 0; xi < imageWidth; ++xi) {
            int x = s.columnOrder[xi];
            std::uint32_t p00 = row0[s.column0[x]], p01 = row0[s.column1[x]];
            std::uint32_t p10 = row1[s.column0[x]], p11 = row1[s.column1[x]];
            std::uint32_t own = out[x];
            int fx = s.fractionX[x];
            std::uint32_t result = p00 & 0xFF000000u; // the top byte follows the first sample
            for (int shift = 0; shift < 24; shift += 8) {
                int channel =
                    blendChannel(int(p00 >> shift & 0xFF), int(p01 >> shift & 0xFF), int(p10 >> shift & 0xFF),
                                 int(p11 >> shift & 0xFF), int(own >> shift & 0xFF), fx, fy, s.keepWeight);
                result |= static_cast<std::uint32_t>(channel) << shift;
            }
            out[x] = result;
        }
    }
}

void RadialBlurLayer::blurSse2(std::uint32_t* pixels) {
    Sampling s = prepare();
    const __m128i zero = _mm_setzero_si128();
    // Lanes 0-2 and 4-6 are colour channels; lanes 3 and 7 (top bytes) get weight 0.
    const __m128i colourLanes = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
    const __m128i keepWeight = _mm_and_si128(_mm_set1_epi16(static_cast<short>(s.keepWeight)), colourLanes);
    for (int yi = 0; yi < imageHeight; ++yi) {
        int y = s.rowOrder[yi];
        const std::uint32_t* row0 = pixels + s.rowStart0[y];
        const std::uint32_t* row1 = pixels + s.rowStart1[y];
        const __m128i fy = _mm_and_si128(_mm_set1_epi16(static_cast<short>(s.fractionY[y])), colourLanes);
        std::uint32_t* out = pixels + y * imageWidth;
        for (int xi = 0; xi < imageWidth; ++xi) {
            int x = s.columnOrder[xi];
            int c0 = s.column0[x], c1 = s.column1[x];
            // Lanes 0-3: the left sample, lanes 4-7: the right sample.
            __m128i top =
                _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(row0[c0])), _mm_cvtsi32_si128(int(row0[c1])));
            __m128i bottom =
                _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(row1[c0])), _mm_cvtsi32_si128(int(row1[c1])));
            top = _mm_unpacklo_epi8(top, zero);
            bottom = _mm_unpacklo_epi8(bottom, zero);
            __m128i down = _mm_mulhi_epi16(_mm_sub_epi16(bottom, top), fy);
            __m128i ab = _mm_add_epi16(top, _mm_add_epi16(down, down)); // a in lanes 0-3, b in 4-7
            __m128i b = _mm_srli_si128(ab, 8);
            __m128i fx = _mm_and_si128(_mm_set1_epi16(static_cast<short>(s.fractionX[x])), colourLanes);
            __m128i across = _mm_mulhi_epi16(_mm_sub_epi16(b, ab), fx);
            __m128i m = _mm_add_epi16(ab, _mm_add_epi16(across, across));
            __m128i own = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(out[x])), zero);
            __m128i kept = _mm_mulhi_epi16(own, keepWeight);
            __m128i result = _mm_add_epi16(m, _mm_add_epi16(kept, kept));
            out[x] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(result, result)));
        }
    }
}
