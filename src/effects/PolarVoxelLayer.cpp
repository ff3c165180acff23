// Polar voxel landscape. Map positions are 16.16 (cell = position >> 16, map 512 x 512 wrapped,
// rows advanced by 512); projected distances from the screen centre are 16.16 pixels, clamped to
// 511. Colour spans are shaded in 16.16 channel values (channel times fog/512). Each ray owns one
// 512-entry row of the polar image; `horizon` remembers where last frame's terrain ended, so only
// the entries between this frame's end and that one need marking empty.

#include "effects/PolarVoxelLayer.h"

#include "core/BandPool.h"
#include "core/ScreenSize.h"
#include "core/SimdLevel.h"
#include "effects/PictureSize.h"
#include "effects/VoxelMapHalves.h"
#include "effects/WrappingTruncation.h"

#include <algorithm>
#include <cmath>
#include <emmintrin.h>

namespace {

constexpr int mapSize = 512;
constexpr int mapCells = mapSize * mapSize;
constexpr std::uint32_t mapMask = mapCells - 1;
constexpr int rayCount = 512;
constexpr int rayLength = 512;
// Padding around the maps: the slope reads 4 rows (2048 bytes) either way, the bilinear fetch the
// next row and column (513 entries).
constexpr int heightPadding = 2048;
constexpr int colourPadding = 520;
// The single-precision value of the angle constant, as the polar table uses it.
constexpr double piSingle = static_cast<double>(3.1415925f);
constexpr double piConstant = 3.1415925;

// Fog for base step i: 511 up to i = 64, then falling to 8 at i = 127.
inline std::int32_t fogAt(int i) {
    return std::min(511, 2 * std::max(0, 4 * (128 - i)));
}

// A polar entry from 16.16 channel values (green given >> 8).
inline std::uint32_t packEntry(std::int32_t r, std::int32_t g8, std::int32_t b) {
    return (std::uint32_t(r) & 0xFF0000) | (std::uint32_t(g8) & 0xFF00) | ((std::uint32_t(b) >> 16) & 0xFF);
}

// (d * f) >> 16 with f unsigned 16-bit, in signed 16-bit lanes: multiply-high takes f as signed,
// which is f - 65536 when its top bit is set, so d is added back there.
inline __m128i multiplyHighUnsigned(__m128i d, __m128i f) {
    return _mm_add_epi16(_mm_mulhi_epi16(d, f), _mm_and_si128(d, _mm_srai_epi16(f, 15)));
}

} // namespace

PolarVoxelLayer::PolarVoxelLayer(Bitmap& a, Bitmap& b, Bitmap& c, ByteMap* m0, ByteMap* m1, ByteMap* m2,
                                 ByteMap* m3) {
    requirePictureSize(a, mapSize, mapSize);
    requirePictureSize(b, mapSize, mapSize);
    requirePictureSize(c, mapSize, mapSize);
    polarTableStorage.resize(screenPixels);
    polarTable = polarTableStorage.data();
    polarImageStorage.resize(rayCount * rayLength);
    polarImage = polarImageStorage.data();
    secondPicture = b.pixels;
    heightA = m0;
    heightB = m1;
    heightC = m2;
    heightD = m3;
    heightStorage.resize(mapCells + 2 * heightPadding);
    heightMap = heightStorage.data() + heightPadding;
    colourStorage.resize(mapCells + colourPadding);
    colourMap = colourStorage.data();
    basePicture = a.pixels;
    lightPicture = c.pixels;
    firstHeightA = m0;
    firstHeightB = m1;
    firstPicture = a.pixels;
    horizonStorage.assign(rayCount, rayLength - 1);
    horizon = horizonStorage.data();
    profileStorage.resize(rayLength);
    profile = profileStorage.data();

    int k = 0;
    for (int y = 192; y >= -191; --y) {
        for (int x = -256; x <= 255; ++x, ++k) {
            // Negative angles wrap to rays 256 .. 511.
            std::uint32_t ray =
                std::uint32_t(int(std::atan2(double(y), double(x)) * 512.0 / piSingle * 0.5)) & 511;
            std::uint32_t radius = std::uint32_t(int(std::sqrt(double(x * x + y * y)))) & 511;
            polarTable[k] = (ray << 9) | radius;
        }
    }
    for (int j = 0; j < rayLength; ++j) {
        float t = float(j) / 512.0f;
        profile[j] = float(std::pow(1.0f - t, 8.94) * std::sin(piConstant * t));
    }
}

void PolarVoxelLayer::switchSet() {
    heightA = heightC;
    heightB = heightD;
    basePicture = secondPicture;
}

PolarVoxelLayer::Frame PolarVoxelLayer::frameParameters(double d) {
    Frame frame;
    frame.stepScale = float((std::cos(d * 0.92543) + 1.0) * 0.5 * 11.0 + double(2.4f));
    rotation = float(std::sin(d * 0.236346) * std::sin(d * 0.436346) * piConstant * 0.5);
    frame.gain = float(std::sin(d * 4.3642) * double(0.2f) + 1.0);
    frame.base = 128 - frame.gain * 128;
    frame.camX = float(std::sin(d * double(0.5213f)) * 50.9 + d * 50.0 + 256.0);
    frame.camY = float(d * 350.0 + 256.0);
    return frame;
}

// Each step is split over the shared band pool, so that each thread's work stays on its half of
// the picture: the rays of the upper half of the screen (0 .. 255) cross one half of the map, those
// of the lower half the other (VoxelMapHalves). The first band blends and colours the first half's map
// cells, casts rays 0 .. 255 and maps the upper screen rows; the second band the rest. With two
// threads the colour map and the polar image then stay in the cache of the core that reads them
// next; more threads cut the same order of work into more bands. Every band writes only what it
// owns, and a step starts once the one before has finished.
void PolarVoxelLayer::render(Bitmap& target, double seconds) {
    const double d = seconds * double(0.198f);
    Frame frame = frameParameters(d);
    VoxelMapHalves halves(rotation, frame.camX, frame.camY);
    blendHeights(d, halves);
    buildColourMap(frame, halves);
    castRays(frame);
    mapOntoScreen(target);
}

void PolarVoxelLayer::buildColourMap(const Frame& frame, const VoxelMapHalves& halves) {
    bool vector = simdLevel() >= SimdLevel::sse2;
    bandPool().forEachBand(VoxelMapHalves::parts, [&](int begin, int end) {
        halves.forEachSpan(begin, end, [&](int firstCell, int endCell) {
            if (vector)
                buildColourMapSse2(frame, firstCell, endCell);
            else
                buildColourMapPlain(frame, firstCell, endCell);
        });
    });
    std::copy(colourMap, colourMap + colourPadding, colourMap + mapCells);
}

// Rays 0 .. 255 go to the first band, as the upper screen rows that show them do (the rays cost
// about the same: every ray takes all its samples).
void PolarVoxelLayer::castRays(const Frame& frame) {
    bool vector = simdLevel() >= SimdLevel::sse2;
    bandPool().forEachBand(rayCount, [&](int begin, int end) {
        for (int ray = begin; ray < end; ++ray) {
            if (vector)
                castRaySse2(ray, frame);
            else
                castRayPlain(ray, frame);
        }
    });
}

void PolarVoxelLayer::mapOntoScreen(Bitmap& target) const {
    bandPool().forEachBand(screenHeight, [&](int begin, int end) {
        for (int k = begin * screenWidth; k < end * screenWidth; ++k) {
            std::uint32_t entry = polarImage[polarTable[k]];
            if (entry != emptyEntry)
                target.pixels[k] = entry;
        }
    });
}

void PolarVoxelLayer::blendHeights(double d, const VoxelMapHalves& halves) {
    int weight = std::clamp((sineTable->sin(truncateToLow32(d * 2822.0)) + 8192) >> 6, 0, 255);
    bandPool().forEachBand(VoxelMapHalves::parts, [&](int begin, int end) {
        halves.forEachSpan(begin, end,
                           [&](int firstCell, int endCell) { blendHeightCells(weight, firstCell, endCell); });
    });
    std::copy(heightMap + mapCells - heightPadding, heightMap + mapCells, heightMap - heightPadding);
    std::copy(heightMap, heightMap + heightPadding, heightMap + mapCells);
}

void PolarVoxelLayer::blendHeightCells(int weight, int firstCell, int endCell) {
    int i = firstCell;
    const int end = endCell;
    if (simdLevel() >= SimdLevel::sse2) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i weightA = _mm_set1_epi16(short(weight));
        const __m128i weightB = _mm_set1_epi16(short(255 - weight));
        // a * w + b * (255 - w) is at most 255 * 255: exact in unsigned 16 bits.
        auto mix = [&](__m128i a, __m128i b) {
            return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(a, weightA), _mm_mullo_epi16(b, weightB)), 8);
        };
        for (; i + 16 <= end; i += 16) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(heightA + i));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(heightB + i));
            __m128i low = mix(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
            __m128i high = mix(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(heightMap + i), _mm_packus_epi16(low, high));
        }
    }
    for (; i < end; ++i)
        heightMap[i] = std::uint8_t((heightA[i] * weight + heightB[i] * (255 - weight)) >> 8);
}

namespace {

// How far the light picture is displaced for cell j: the camera's scroll plus the terrain's slope
// over four rows and four columns each way.
inline std::int32_t lightShift(const std::uint8_t* h, int j, std::int32_t shift) {
    std::int32_t slope = 4 * (512 * (h[j - 2048] - h[j + 2048]) - h[j + 4] + h[j - 4]);
    return std::int32_t(std::uint32_t(shift) + std::uint32_t(slope));
}

// The scroll of the light picture: (int)(-(int)camY * 512 - camX + 131328.0), in double.
inline std::int32_t cameraShift(float camX, float camY) {
    std::int64_t row = truncateToLow32(camY);
    return truncateToLow32(double(-row * 512) - double(camX) + 131328.0);
}

} // namespace

void PolarVoxelLayer::buildColourMapPlain(const Frame& frame, int firstCell, int endCell) {
    std::int32_t shift = cameraShift(frame.camX, frame.camY);
    for (int j = firstCell; j < endCell; ++j) {
        std::uint32_t light =
            lightPicture[(std::uint32_t(j) + std::uint32_t(lightShift(heightMap, j, shift))) & mapMask];
        std::uint32_t base = basePicture[j];
        std::uint32_t colour = 0;
        for (int s = 0; s < 24; s += 8)
            colour |= std::min<std::uint32_t>(255, ((base >> s) & 0xFF) + ((light >> s) & 0xFF)) << s;
        colourMap[j] = colour | std::uint32_t(heightMap[j]) << 24;
    }
}

void PolarVoxelLayer::buildColourMapSse2(const Frame& frame, int firstCell, int endCell) {
    const __m128i shift = _mm_set1_epi32(cameraShift(frame.camX, frame.camY));
    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
    const __m128i mask = _mm_set1_epi32(int(mapMask));
    const __m128i zero = _mm_setzero_si128();
    // Four heights from h + at as 32-bit lanes.
    auto heightsAt = [zero](const std::uint8_t* at) {
        __m128i bytes = _mm_cvtsi32_si128(*reinterpret_cast<const int*>(at));
        return _mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero);
    };
    __m128i index = _mm_add_epi32(_mm_setr_epi32(0, 1, 2, 3), _mm_set1_epi32(firstCell));
    alignas(16) std::uint32_t at[4];
    int j = firstCell;
    for (; j + 4 <= endCell; j += 4) {
        const std::uint8_t* h = heightMap + j;
        __m128i rows = _mm_slli_epi32(_mm_sub_epi32(heightsAt(h - 2048), heightsAt(h + 2048)), 11);
        __m128i columns = _mm_slli_epi32(_mm_sub_epi32(heightsAt(h - 4), heightsAt(h + 4)), 2);
        __m128i light = _mm_add_epi32(_mm_add_epi32(index, shift), _mm_add_epi32(rows, columns));
        _mm_store_si128(reinterpret_cast<__m128i*>(at), _mm_and_si128(light, mask));
        __m128i texels = _mm_unpacklo_epi64(_mm_unpacklo_epi32(_mm_cvtsi32_si128(int(lightPicture[at[0]])),
                                                               _mm_cvtsi32_si128(int(lightPicture[at[1]]))),
                                            _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(lightPicture[at[2]])),
                                                               _mm_cvtsi32_si128(int(lightPicture[at[3]]))));
        __m128i base = _mm_loadu_si128(reinterpret_cast<const __m128i*>(basePicture + j));
        __m128i sum = _mm_and_si128(_mm_adds_epu8(base, texels), colour);
        // The four heights into the top bytes.
        __m128i heights = _mm_slli_epi32(heightsAt(h), 24);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(colourMap + j), _mm_or_si128(sum, heights));
        index = _mm_add_epi32(index, _mm_set1_epi32(4));
    }
    if (j < endCell)
        buildColourMapPlain(frame, j, endCell);
}

// Fills entries from .. to - 1 of a ray's row. A span of one entry or none takes this sample's
// colour; a longer one is shaded from this sample's colour at its far end back towards the
// previous sample's colour.
void PolarVoxelLayer::fillSpan(std::uint32_t* row, int from, int to, std::int32_t r, std::int32_t g,
                               std::int32_t b, std::int32_t previousR, std::int32_t previousG,
                               std::int32_t previousB, int lastEnd) {
    int n = to - lastEnd;
    if (n < 2) {
        std::uint32_t entry = (std::uint32_t(r) & 0xFF0000) | ((std::uint32_t(g) >> 16) & 0xFF) << 8 |
                              ((std::uint32_t(b) >> 16) & 0xFF);
        for (int e = from; e < to; ++e)
            row[e] = entry;
        return;
    }
    std::int32_t stepR = (r - previousR) / n;
    std::int32_t stepG = ((g >> 8) - (previousG >> 8)) / n;
    std::int32_t stepB = (b - previousB) / n;
    std::int32_t g8 = g >> 8;
    for (int e = to - 1; e >= from; --e) {
        row[e] = packEntry(r, g8, b);
        r -= stepR;
        g8 -= stepG;
        b -= stepB;
    }
}

void PolarVoxelLayer::finishRay(int ray, std::int32_t top) {
    std::int32_t end = top >> 16;
    if (end <= horizon[ray])
        std::fill(polarImage + ray * rayLength + end, polarImage + ray * rayLength + horizon[ray] + 1,
                  emptyEntry);
    horizon[ray] = end;
}

namespace {

// A ray's start: its 16.16 step (real trigonometry) and the camera position.
struct RayStart {
    std::int32_t dx, dy, px, py;
};

inline RayStart rayStart(int ray, float rotation, float stepScale, int steps, float camX, float camY) {
    double theta = ray * 0.001953125f * piConstant * 2 + rotation;
    double length = (128.0 / steps) * stepScale * 65536.0;
    return {std::int32_t(std::sin(theta) * length), std::int32_t(std::cos(theta) * length),
            truncateToLow32(camX * 65536.0f), truncateToLow32(camY * 65536.0f)};
}

// The map cell under a 16.16 position; a column past 511 carries into the next row.
inline std::uint32_t cellAt(std::int32_t px, std::int32_t py) {
    return ((std::uint32_t(py >> 16) << 9) + std::uint32_t(px >> 16)) & mapMask;
}

} // namespace

void PolarVoxelLayer::castRayPlain(int ray, const Frame& frame) {
    RayStart start = rayStart(ray, rotation, frame.stepScale, steps, frame.camX, frame.camY);
    std::int32_t dx = start.dx, dy = start.dy, px = start.px, py = start.py;
    std::uint32_t* row = polarImage + ray * rayLength;
    std::int32_t top = 0, lastEnd = 0, pr = 0, pg = 0, pb = 0;
    int g = 1;
    for (int i = 0; i < steps / 4; i += g) {
        if (((i + 1) & 63) == 0) {
            dx *= 2;
            dy *= 2;
            g *= 2;
        }
        std::uint32_t p = cellAt(px, py);
        std::int32_t fx = px & 0xFFFF, fy = py & 0xFFFF;
        // Bilinear in 16-bit fractions: the height from heightMap, each colour channel from its byte.
        auto bilinear = [&](auto value) {
            std::int32_t v00 = value(p), v01 = value(p + 1), v10 = value(p + 512), v11 = value(p + 513);
            std::int32_t upper = v00 + (((v01 - v00) * fx) >> 16);
            std::int32_t lower = v10 + (((v11 - v10) * fx) >> 16);
            return upper + (((lower - upper) * fy) >> 16);
        };
        std::int32_t height = bilinear([&](std::uint32_t k) { return std::int32_t(heightMap[k]); });
        std::int32_t red = bilinear([&](std::uint32_t k) { return std::int32_t(colourMap[k] >> 16 & 0xFF); });
        std::int32_t green =
            bilinear([&](std::uint32_t k) { return std::int32_t(colourMap[k] >> 8 & 0xFF); });
        std::int32_t blue = bilinear([&](std::uint32_t k) { return std::int32_t(colourMap[k] & 0xFF); });

        std::int32_t q = std::int32_t((double(height) * frame.gain + frame.base) * profile[i] * 491520.0);
        q = std::min(q, 0x1FF0000);
        std::int32_t fog = fogAt(i);
        std::int32_t cr = (fog * red) << 7, cg = (fog * green) << 7, cb = (fog * blue) << 7;
        if (q > top) {
            std::int32_t hi = q >> 16;
            fillSpan(row, top >> 16, hi, cr, cg, cb, pr, pg, pb, lastEnd);
            top = q;
            lastEnd = hi;
        }
        pr = cr;
        pg = cg;
        pb = cb;
        // Past minutes of flight the position wraps; the map does too.
        px = std::int32_t(std::uint32_t(px) + std::uint32_t(dx));
        py = std::int32_t(std::uint32_t(py) + std::uint32_t(dy));
    }
    finishRay(ray, top);
}

// The same ray in two passes: first every sample's distance and colour (no branches, so the
// samples overlap in the pipeline), then the spans.
void PolarVoxelLayer::castRaySse2(int ray, const Frame& frame) {
    struct Sample {
        std::int32_t q, r, g, b;
    };
    Sample samples[128];
    int count = 0;
    {
        RayStart start = rayStart(ray, rotation, frame.stepScale, steps, frame.camX, frame.camY);
        std::int32_t dx = start.dx, dy = start.dy, px = start.px, py = start.py;
        int g = 1;
        const __m128i zero = _mm_setzero_si128();
        for (int i = 0; i < steps / 4; i += g) {
            if (((i + 1) & 63) == 0) {
                dx *= 2;
                dy *= 2;
                g *= 2;
            }
            std::uint32_t p = cellAt(px, py);
            // Lanes 0-3: blue, green, red, height of the upper pair's bilinear; lanes 4-7 the lower's.
            __m128i upperPair =
                _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(colourMap + p)), zero);
            __m128i lowerPair = _mm_unpacklo_epi8(
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(colourMap + p + 512)), zero);
            __m128i left = _mm_unpacklo_epi64(upperPair, lowerPair);
            __m128i right = _mm_unpackhi_epi64(upperPair, lowerPair);
            __m128i fx = _mm_set1_epi16(short(px & 0xFFFF));
            __m128i fy = _mm_set1_epi16(short(py & 0xFFFF));
            __m128i across = _mm_add_epi16(left, multiplyHighUnsigned(_mm_sub_epi16(right, left), fx));
            __m128i lower = _mm_srli_si128(across, 8);
            __m128i value = _mm_add_epi16(across, multiplyHighUnsigned(_mm_sub_epi16(lower, across), fy));
            std::uint64_t lanes = std::uint64_t(_mm_cvtsi128_si64(value));
            std::int32_t blue = std::int32_t(lanes & 0xFFFF), green = std::int32_t(lanes >> 16 & 0xFFFF);
            std::int32_t red = std::int32_t(lanes >> 32 & 0xFFFF), height = std::int32_t(lanes >> 48);
            std::int32_t q = std::int32_t((double(height) * frame.gain + frame.base) * profile[i] * 491520.0);
            std::int32_t fog = fogAt(i);
            samples[count++] = {std::min(q, 0x1FF0000), (fog * red) << 7, (fog * green) << 7,
                                (fog * blue) << 7};
            px = std::int32_t(std::uint32_t(px) + std::uint32_t(dx));
            py = std::int32_t(std::uint32_t(py) + std::uint32_t(dy));
        }
    }
    std::uint32_t* row = polarImage + ray * rayLength;
    std::int32_t top = 0, lastEnd = 0, pr = 0, pg = 0, pb = 0;
    for (int n = 0; n < count; ++n) {
        const Sample& sample = samples[n];
        if (sample.q > top) {
            std::int32_t hi = sample.q >> 16;
            fillSpan(row, top >> 16, hi, sample.r, sample.g, sample.b, pr, pg, pb, lastEnd);
            top = sample.q;
            lastEnd = hi;
        }
        pr = sample.r;
        pg = sample.g;
        pb = sample.b;
    }
    finishRay(ray, top);
}
