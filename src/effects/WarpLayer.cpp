// Warp transition. The feedback image (workBufferB, 512 x 512) holds the last output in rows
// 64 .. 447 between black bands; a screen pixel (i, j) samples it bilinearly at
// rowTable[j] + columnTable[i] (8.8 fixed point, wrapped), so the displacement is the sum of one
// term per column and one per row. Phases are angles in sine-table steps << 13 and wrap as 32-bit
// values.

#include "effects/WarpLayer.h"

#include "core/BandPool.h"
#include "core/PixelOps.h"
#include "core/ScreenSize.h"
#include "core/ShowObjects.h"
#include "core/SimdLevel.h"
#include "effects/PictureSize.h"
#include "effects/WrappingTruncation.h"
#include "timeline/LayerList.h"

#include <algorithm>
#include <emmintrin.h>

namespace {

constexpr std::uint32_t feedbackMask = 0x3FFFF;
// The screen's first pixel in the feedback image (row 64).
constexpr int screenStart = 64 * 512;

// One of the sums of sines: the start phases of four waves and how far they move per entry.
struct Waves {
    std::uint32_t phase[8];
    std::uint32_t speed[8];
};

} // namespace

WarpLayer::WarpLayer(Bitmap& sourcePicture)
    : feedback(workBufferB), picture(sourcePicture.pixels), warped(workBufferA) {
    requirePictureSize(sourcePicture, 512, 512);
    columnTable.resize(screenWidth);
    rowTable.resize(screenHeight);
}

void WarpLayer::render(Bitmap& target, double seconds) {
    if (firstFrame) {
        firstFrame = false;
        photograph(target.pixels);
        // Those two drew the screen just photographed; they have had their last frame.
        if (layerList != nullptr) {
            layerList->remove(retired[0]);
            layerList->remove(retired[1]);
        }
    }
    buildTables(seconds);
    bool vector = simdLevel() >= SimdLevel::sse2;
    BandPool& pool = bandPool();
    distortBands.forEachBand(pool, screenHeight, [this, vector](int firstRow, int endRow) {
        if (vector)
            distortSse2(firstRow, endRow);
        else
            distortPlain(firstRow, endRow);
    });
    std::uint32_t weight = std::uint32_t(blend);
    if (blend < 16)
        ++blend;
    blendBands.forEachBand(pool, screenHeight, [this, vector, &target, weight](int firstRow, int endRow) {
        if (vector)
            blendSse2(target.pixels, weight, firstRow, endRow);
        else
            blendPlain(target.pixels, weight, firstRow, endRow);
    });
}

void WarpLayer::photograph(const std::uint32_t* screen) {
    std::fill(feedback, feedback + screenStart, 0u);
    std::copy(screen, screen + screenPixels, feedback + screenStart);
    std::fill(feedback + screenStart + screenPixels, feedback + 512 * 512, 0u);
}

void WarpLayer::buildTables(double t) {
    auto sine = [this](double angle) { return sineTable->sin(truncateToLow32(angle)); };
    auto cosine = [this](double angle) { return sineTable->cos(truncateToLow32(angle)); };
    // A phase's table angle: the phase >> 13 (the lookup masks it).
    auto wave = [this](std::uint32_t phase) { return sineTable->sin(std::int32_t(phase) >> 13); };

    std::int32_t zoom = 8192 - ((sine(t * 464) + sine(t * 264) + sine(t * 364) + sine(t * 164) + 8192) >> 6);
    std::int32_t c = sine(t * 216);
    std::int32_t u = (c >> 2) - 4096;
    std::int32_t d = cosine(t * 316);
    std::int32_t v = (d >> 2) - 3072;
    std::int32_t amp = (sine(t * 2120) + sine(t * 1159) + sine(t * 314) + sine(t * 235) + 32768) >> 8;
    const double speedAngles[8] = {132, 224, 342, 454, 234, 543, 122, 234};
    std::int32_t f[8];
    for (int n = 0; n < 8; ++n)
        f[n] = (sine(t * speedAngles[n]) * amp) >> 1;

    // Start phases: (offset * f >> 4) plus a drift in time; the products overflow 32 bits and wrap.
    auto startPhases = [&](std::int32_t offset, const double drift[8]) {
        Waves waves;
        for (int n = 0; n < 8; ++n) {
            std::int32_t product = std::int32_t(std::uint32_t(offset) * std::uint32_t(f[n]));
            waves.phase[n] = std::uint32_t(truncateToLow32((product >> 4) + t * drift[n]));
            waves.speed[n] = std::uint32_t(f[n]);
        }
        return waves;
    };
    auto advance = [](Waves& waves) {
        for (int n = 0; n < 8; ++n)
            waves.phase[n] += waves.speed[n];
    };

    const double columnDrift[8] = {-235416, 436532, -132343, 531212, -135416, 536532, -432343, 731212};
    Waves columns = startPhases(u, columnDrift);
    std::int32_t base = u * zoom;
    for (int i = 0; i < screenWidth; ++i) {
        const std::uint32_t* q = columns.phase;
        // 0xFF80 is 255.5 in 8.8: with zoom 8192 pixel i samples column i - 0.5.
        columnTable[i].x =
            ((wave(q[5]) + wave(q[4]) + wave(q[1]) + wave(q[0])) >> 6) + (base >> 9) - 4 * c + 0xFF80;
        columnTable[i].y = (wave(q[7]) + wave(q[6]) + wave(q[3]) + wave(q[2])) >> 6;
        base += 16 * zoom;
        advance(columns);
    }

    const double rowDrift[8] = {254324, -245421, 126531, -231214, -635416, 336532, -232343, 131212};
    Waves rows = startPhases(v, rowDrift);
    base = v * zoom;
    for (int j = 0; j < screenHeight; ++j) {
        const std::uint32_t* r = rows.phase;
        rowTable[j].x = (wave(r[7]) + wave(r[6]) + wave(r[3]) + wave(r[2])) >> 6;
        // With zoom 8192 row j samples feedback row j + 63.5.
        rowTable[j].y =
            ((wave(r[5]) + wave(r[4]) + wave(r[1]) + wave(r[0])) >> 6) + (base >> 9) - 4 * d + 0xFF80;
        base += 16 * zoom;
        advance(rows);
    }
}

namespace {

// Where pixel (row sample + column sample) reads: the top-left texel and the 8-bit fractions.
struct Fetch {
    std::uint32_t texel, fx, fy;
};

inline Fetch fetchAt(std::int32_t x, std::int32_t y) {
    std::uint32_t texel = (std::uint32_t(x >> 8) + std::uint32_t(y & ~0xFF) * 2) & feedbackMask;
    return {texel, std::uint32_t(x) & 0xFF, std::uint32_t(y) & 0xFF};
}

} // namespace

void WarpLayer::distortPlain(int firstRow, int endRow) {
    for (int j = firstRow; j < endRow; ++j) {
        for (int i = 0; i < screenWidth; ++i) {
            Fetch at = fetchAt(rowTable[j].x + columnTable[i].x, rowTable[j].y + columnTable[i].y);
            std::uint32_t w00 = ((255 - at.fx) * (255 - at.fy)) >> 8;
            std::uint32_t w01 = (at.fx * (255 - at.fy)) >> 8;
            std::uint32_t w10 = ((255 - at.fx) * at.fy) >> 8;
            std::uint32_t w11 = (at.fx * at.fy) >> 8;
            std::uint32_t s00 = feedback[at.texel];
            std::uint32_t s01 = feedback[(at.texel + 1) & feedbackMask];
            std::uint32_t s10 = feedback[(at.texel + 512) & feedbackMask];
            std::uint32_t s11 = feedback[(at.texel + 513) & feedbackMask];
            // The weights sum to at most 254, so neither sum carries into the next channel.
            std::uint32_t redBlue = (s00 & redBlueMask) * w00 + (s01 & redBlueMask) * w01 +
                                    (s10 & redBlueMask) * w10 + (s11 & redBlueMask) * w11;
            std::uint32_t green = (s00 & greenMask) * w00 + (s01 & greenMask) * w01 +
                                  (s10 & greenMask) * w10 + (s11 & greenMask) * w11;
            warped[j * screenWidth + i] = ((redBlue >> 8) & redBlueMask) | ((green >> 8) & greenMask);
        }
    }
}

void WarpLayer::distortSse2(int firstRow, int endRow) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i colour = _mm_set1_epi32(int(colourMask));
    auto texels = [this, zero](std::uint32_t a, std::uint32_t b) {
        // Two feedback pixels, one per half, as 16-bit channels.
        __m128i pair =
            _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(feedback[a])), _mm_cvtsi32_si128(int(feedback[b])));
        return _mm_unpacklo_epi8(pair, zero);
    };
    for (int j = firstRow; j < endRow; ++j) {
        std::uint32_t* out = warped + j * screenWidth;
        for (int i = 0; i < screenWidth; i += 2) {
            Fetch p = fetchAt(rowTable[j].x + columnTable[i].x, rowTable[j].y + columnTable[i].y);
            Fetch q = fetchAt(rowTable[j].x + columnTable[i + 1].x, rowTable[j].y + columnTable[i + 1].y);
            // Fractions of the two pixels, each spread over its half.
            __m128i fx = _mm_unpacklo_epi64(_mm_set1_epi16(short(p.fx)), _mm_set1_epi16(short(q.fx)));
            __m128i fy = _mm_unpacklo_epi64(_mm_set1_epi16(short(p.fy)), _mm_set1_epi16(short(q.fy)));
            __m128i full = _mm_set1_epi16(255);
            __m128i gx = _mm_sub_epi16(full, fx);
            __m128i gy = _mm_sub_epi16(full, fy);
            // Products below 65536 and weighted sums at most 255 * 254: exact in unsigned 16 bits.
            __m128i w00 = _mm_srli_epi16(_mm_mullo_epi16(gx, gy), 8);
            __m128i w01 = _mm_srli_epi16(_mm_mullo_epi16(fx, gy), 8);
            __m128i w10 = _mm_srli_epi16(_mm_mullo_epi16(gx, fy), 8);
            __m128i w11 = _mm_srli_epi16(_mm_mullo_epi16(fx, fy), 8);
            __m128i sum = _mm_mullo_epi16(texels(p.texel, q.texel), w00);
            sum = _mm_add_epi16(
                sum,
                _mm_mullo_epi16(texels((p.texel + 1) & feedbackMask, (q.texel + 1) & feedbackMask), w01));
            sum = _mm_add_epi16(
                sum,
                _mm_mullo_epi16(texels((p.texel + 512) & feedbackMask, (q.texel + 512) & feedbackMask), w10));
            sum = _mm_add_epi16(
                sum,
                _mm_mullo_epi16(texels((p.texel + 513) & feedbackMask, (q.texel + 513) & feedbackMask), w11));
            __m128i result = _mm_packus_epi16(_mm_srli_epi16(sum, 8), zero);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_and_si128(result, colour));
        }
    }
}

void WarpLayer::blendPlain(std::uint32_t* target, std::uint32_t weight, int firstRow, int endRow) {
    std::uint32_t rest = 255 - weight;
    const std::uint32_t* source = picture + screenStart;
    for (int n = firstRow * screenWidth; n < endRow * screenWidth; ++n) {
        std::uint32_t p = source[n], w = warped[n];
        std::uint32_t redBlue = (p & redBlueMask) * weight + (w & redBlueMask) * rest;
        std::uint32_t green = (p & greenMask) * weight + (w & greenMask) * rest;
        std::uint32_t result = ((redBlue >> 8) & redBlueMask) | ((green >> 8) & greenMask);
        target[n] = result;
        feedback[screenStart + n] = result;
    }
}

void WarpLayer::blendSse2(std::uint32_t* target, std::uint32_t weight, int firstRow, int endRow) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i colour = _mm_set1_epi32(int(colourMask));
    const __m128i pictureWeight = _mm_set1_epi16(short(weight));
    const __m128i warpedWeight = _mm_set1_epi16(short(255 - weight));
    const std::uint32_t* source = picture + screenStart;
    auto mix = [&](__m128i p, __m128i w) {
        // p * k + w * (255 - k) is at most 255 * 255: exact in unsigned 16 bits.
        __m128i sum = _mm_add_epi16(_mm_mullo_epi16(p, pictureWeight), _mm_mullo_epi16(w, warpedWeight));
        return _mm_srli_epi16(sum, 8);
    };
    for (int n = firstRow * screenWidth; n < endRow * screenWidth; n += 4) {
        __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + n));
        __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(warped + n));
        __m128i low = mix(_mm_unpacklo_epi8(p, zero), _mm_unpacklo_epi8(w, zero));
        __m128i high = mix(_mm_unpackhi_epi8(p, zero), _mm_unpackhi_epi8(w, zero));
        __m128i result = _mm_and_si128(_mm_packus_epi16(low, high), colour);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + n), result);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(feedback + screenStart + n), result);
    }
}
