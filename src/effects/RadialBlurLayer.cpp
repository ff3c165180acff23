// Radial blur, in place, from the centre outwards: rows from the centre row down, then up; in each
// row columns from the centre column right, then left. Samples nearer the centre are therefore
// already blurred, which carries light along every ray in one pass.
// stepX/stepY: offset towards the centre in 1/32768 pixels (integer part >> 15, fraction & 0x7FFF;
// the column fraction keeps 8 bits). Sample positions are clamped to the image.

#include "effects/RadialBlurLayer.h"

#include "core/BandPool.h"
#include "core/RowWavefront.h"
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
struct RadialBlurSampling {
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

RadialBlurSampling RadialBlurLayer::prepare() {
    RadialBlurSampling s;
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
    bool vector = simdLevel() >= SimdLevel::sse2;
    if (bandPool().bands() > 1)
        blurBanded(image.pixels, vector);
    else if (vector)
        blurSse2(image.pixels);
    else
        blurPlain(image.pixels);
}

namespace {

// Columns [begin, end) of the visiting order in row y, one channel at a time.
void blurSpanPlain(std::uint32_t* pixels, const RadialBlurSampling& s, int y, int begin, int end) {
    const std::uint32_t* row0 = pixels + s.rowStart0[y];
    const std::uint32_t* row1 = pixels + s.rowStart1[y];
    int fy = s.fractionY[y];
    std::uint32_t* out = pixels + y * imageWidth;
    for (int xi = begin; xi < end; ++xi) {
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

// The same span with both samples of a row in one register.
void blurSpanSse2(std::uint32_t* pixels, const RadialBlurSampling& s, int y, int begin, int end) {
    const __m128i zero = _mm_setzero_si128();
    // Lanes 0-2 and 4-6 are colour channels; lanes 3 and 7 (top bytes) get weight 0.
    const __m128i colourLanes = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
    const __m128i keepWeight = _mm_and_si128(_mm_set1_epi16(static_cast<short>(s.keepWeight)), colourLanes);
    const std::uint32_t* row0 = pixels + s.rowStart0[y];
    const std::uint32_t* row1 = pixels + s.rowStart1[y];
    const __m128i fy = _mm_and_si128(_mm_set1_epi16(static_cast<short>(s.fractionY[y])), colourLanes);
    std::uint32_t* out = pixels + y * imageWidth;
    for (int xi = begin; xi < end; ++xi) {
        int x = s.columnOrder[xi];
        int c0 = s.column0[x], c1 = s.column1[x];
        // Lanes 0-3: the left sample, lanes 4-7: the right sample.
        __m128i top = _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(row0[c0])), _mm_cvtsi32_si128(int(row0[c1])));
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

// A sample whose weight is 0 cannot change the result (the multiply-high of anything by 0 is 0), so
// it may be read from the sample beside it instead. This keeps the bands from reading a pixel that a
// later row or column, maybe drawn by another thread, is about to replace.
void dropWeightlessSamples(RadialBlurSampling& s) {
    for (int x = 0; x < imageWidth; ++x)
        if (s.fractionX[x] == 0)
            s.column1[x] = s.column0[x];
    for (int y = 0; y < imageHeight; ++y)
        if (s.fractionY[y] == 0)
            s.rowStart1[y] = s.rowStart0[y];
}

// True when every sample of a pixel lies in its own row or an earlier one in the visiting order,
// and in its own column or an earlier one: then the rows may be drawn as a wavefront. The lens
// layer's centres and strength always pass; a centre off the image or a strength outside 0 .. 1
// (samples beyond the centre or away from it) does not.
bool samplesPrecedeTheirPixels(const RadialBlurSampling& s) {
    int rowVisit[imageHeight], columnVisit[imageWidth];
    for (int i = 0; i < imageHeight; ++i)
        rowVisit[s.rowOrder[i]] = i;
    for (int i = 0; i < imageWidth; ++i)
        columnVisit[s.columnOrder[i]] = i;
    for (int y = 0; y < imageHeight; ++y)
        if (rowVisit[s.rowStart0[y] / imageWidth] > rowVisit[y] ||
            rowVisit[s.rowStart1[y] / imageWidth] > rowVisit[y])
            return false;
    for (int x = 0; x < imageWidth; ++x)
        if (columnVisit[s.column0[x]] > columnVisit[x] || columnVisit[s.column1[x]] > columnVisit[x])
            return false;
    return true;
}

template <class DrawSpan>
void blurInOrder(std::uint32_t* pixels, const RadialBlurSampling& s, DrawSpan drawSpan) {
    for (int yi = 0; yi < imageHeight; ++yi)
        drawSpan(pixels, s, s.rowOrder[yi], 0, imageWidth);
}

} // namespace

void RadialBlurLayer::blurPlain(std::uint32_t* pixels) {
    RadialBlurSampling s = prepare();
    blurInOrder(pixels, s, blurSpanPlain);
}

void RadialBlurLayer::blurSse2(std::uint32_t* pixels) {
    RadialBlurSampling s = prepare();
    blurInOrder(pixels, s, blurSpanSse2);
}

namespace {

// The banded blur with each row's steps: in the wavefront, around the rows of each band's blocks;
// in order on the caller when the samples do not allow a wavefront.
template <class Build, class Use>
void blurBandedBetween(std::uint32_t* pixels, RadialBlurSampling& s, bool vector, Build build, Use use) {
    dropWeightlessSamples(s);
    auto drawSpan = vector ? blurSpanSse2 : blurSpanPlain;
    auto buildRows = [&](int first, int end) {
        for (int row = first; row < end; ++row)
            build(s.rowOrder[row]);
    };
    auto useRows = [&](int first, int end) {
        for (int row = first; row < end; ++row)
            use(s.rowOrder[row]);
    };
    if (!samplesPrecedeTheirPixels(s)) {
        bandPool().forEachBand(imageHeight, buildRows);
        blurInOrder(pixels, s, drawSpan);
        bandPool().forEachBand(imageHeight, useRows);
        return;
    }
    drawRowsInWavefront(
        imageHeight, imageWidth,
        [&](int row, int begin, int end) { drawSpan(pixels, s, s.rowOrder[row], begin, end); }, buildRows,
        useRows);
}

} // namespace

void RadialBlurLayer::blurBanded(std::uint32_t* pixels, bool vector) {
    RadialBlurSampling s = prepare();
    auto nothing = [](int) {};
    blurBandedBetween(pixels, s, vector, nothing, nothing);
}

void RadialBlurLayer::renderRows(Bitmap& image, RadialBlurRows& rows) {
    bool vector = simdLevel() >= SimdLevel::sse2;
    if (bandPool().bands() > 1) {
        RadialBlurSampling s = prepare();
        blurBandedBetween(
            image.pixels, s, vector, [&](int y) { rows.build(y); }, [&](int y) { rows.use(y); });
        return;
    }
    for (int y = 0; y < imageHeight; ++y)
        rows.build(y);
    render(image, 0.0);
    for (int y = 0; y < imageHeight; ++y)
        rows.use(y);
}
