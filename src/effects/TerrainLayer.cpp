// Terrain flight. Map positions are in 1/512 cell (cell = position >> 9, wrapped to 512), heights
// in 1/256 of a height-map unit, angles in sine-table steps (8192 a turn, values scaled by 8192).
// Ray directions are 16.16 vectors (x along columns, y up, z along rows); a march step is the
// direction >> 8. The grid of ray colours lives in workBufferA; the target is fully overwritten.

#include "effects/TerrainLayer.h"

#include "core/BandPool.h"
#include "core/PixelOps.h"
#include "core/ShowObjects.h"
#include "core/SimdLevel.h"
#include "core/Truncate.h"
#include "effects/PictureSize.h"
#include "effects/WrappingTruncation.h"

#include <algorithm>
#include <cstdlib>
#include <emmintrin.h>

namespace {

constexpr int mapSize = 512;
constexpr int mapCells = mapSize * mapSize;

// The cell under a position in 1/512 cell units; positions wrap, negative ones included.
inline std::uint32_t cellAt(std::uint32_t px, std::uint32_t py) {
    return ((px >> 9) & 511) | (py & 0x3FE00);
}

// The cell of whole-cell coordinates, wrapped.
inline std::uint32_t cellOf(int cx, int cy) {
    return ((std::uint32_t(cy) & 511) << 9) | (std::uint32_t(cx) & 511);
}

// One axis of a wrapped running maximum over 2 * reach + 1 cells.
void peakAlongAxis(const std::uint8_t* source, std::uint8_t* result, int reach, bool alongRows) {
    for (int line = 0; line < mapSize; ++line) {
        for (int i = 0; i < mapSize; ++i) {
            std::uint8_t peak = 0;
            for (int d = -reach; d <= reach; ++d) {
                int j = (i + d) & (mapSize - 1);
                peak = std::max(peak, alongRows ? source[j * mapSize + line] : source[line * mapSize + j]);
            }
            (alongRows ? result[i * mapSize + line] : result[line * mapSize + i]) = peak;
        }
    }
}

} // namespace

// A ray on its march; position and height wrap as 32-bit values.
struct TerrainLayer::Ray {
    std::uint32_t px, pz, h;
    std::int32_t sx, sy, sz;

    void step() {
        px += std::uint32_t(sx);
        pz += std::uint32_t(sz);
        h += std::uint32_t(sy);
    }
    void doubleStep() {
        sx *= 2;
        sy *= 2;
        sz *= 2;
    }
    std::uint32_t cell() const { return cellAt(px, pz); }
    // Height in whole units (arithmetic shift of the signed height).
    int level() const { return std::int32_t(h) >> 8; }
};

TerrainLayer::TerrainLayer(Bitmap& colourPicture, ByteMap* heightMap)
    : colours(colourPicture.pixels), heights(heightMap), grid(workBufferA) {
    requirePictureSize(colourPicture, mapSize, mapSize);
    int counts[256] = {};
    for (int i = 0; i < mapCells; ++i)
        ++counts[heights[i]];
    // From 255 down, only a strictly larger count wins: ties keep the higher height.
    int bestCount = 0;
    for (int value = 255; value >= 0; --value) {
        if (counts[value] > bestCount) {
            bestCount = counts[value];
            waterLevel = value;
        }
    }
    nearbyPeak.resize(mapCells);
    std::vector<std::uint8_t> rowPeaks(mapCells);
    peakAlongAxis(heights, rowPeaks.data(), skipReach, false);
    peakAlongAxis(rowPeaks.data(), nearbyPeak.data(), skipReach, true);
}

void TerrainLayer::render(Bitmap& target, double seconds) {
    moveCamera(seconds);
    castRaysSkipping(grid);
    enlargeGrid(target);
}

// The bands take whole block rows: each writes only its own 4 pixel rows per block row.
void TerrainLayer::enlargeGrid(Bitmap& target) const {
    bool vector = simdLevel() >= SimdLevel::sse2;
    bandPool().forEachBand(blockRows, [&](int begin, int end) {
        if (vector)
            enlargeGridSse2(grid, target.pixels, begin, end);
        else
            enlargeGridPlain(grid, target.pixels, begin, end);
    });
}

void TerrainLayer::moveCamera(double seconds) {
    if (lastTime == -1.0)
        lastTime = seconds;
    double dt = seconds - lastTime;
    lastTime = seconds;

    // Eased per frame, not per second.
    pitch = static_cast<std::int32_t>(pitch * 0.97 - 6.0);

    // Hug the ground: climb fast, sink slowly.
    std::int32_t goal = (heights[cellAt(std::uint32_t(posX), std::uint32_t(posY))] + 8) << 8;
    float ease = goal > altitude ? 0.4f : 0.08f;
    altitude =
        static_cast<std::int32_t>(static_cast<float>(goal - altitude) * ease + static_cast<float>(altitude));

    int best = lowestDirectionOffset();
    steer = (steer * 210 + best * 46) >> 8;
    heading = truncateToLow32(steer * dt * 2 + heading);
    roll = static_cast<std::int32_t>((steer - roll) * 0.41 + roll);
    // Sharp turns slow the camera down (and very sharp ones fly it backwards).
    double speed = 3.0 - (steer * steer) * 0.00001;
    posX = truncateToLow32(sineTable->sin(heading) * speed * dt + posX);
    posY = truncateToLow32(sineTable->cos(heading) * speed * dt + posY);
}

// The offset from the heading of the lowest ground 64 cells ahead, among 15 directions up to 1120
// steps either side; nearer offsets first, the one below the heading before the one above, and
// the first of equal heights wins.
int TerrainLayer::lowestDirectionOffset() const {
    int cx = posX >> 9;
    int cy = posY >> 9;
    int lowest = 255;
    int best = 0;
    std::uint32_t below = std::uint32_t(heading), above = std::uint32_t(heading);
    auto probe = [&](std::uint32_t angle) {
        // 8192 >> 7: the probe lies 64 cells away.
        int height =
            heights[cellOf(cx + (sineTable->sin(int(angle)) >> 7), cy + (sineTable->cos(int(angle)) >> 7))];
        if (height < lowest) {
            lowest = height;
            best = std::int32_t(angle - std::uint32_t(heading));
        }
    };
    for (int i = 0; i < 8; ++i) {
        probe(below);
        probe(above);
        below -= 160;
        above += 160;
    }
    return best;
}

// The four view corners (top-left, top-right, bottom-left, bottom-right) turned by roll, pitch and
// heading. A 90-degree field of view at 4:3: x = +-2, y = +-1.5, z = 2 in 16.16. Each product of a
// component (at most |3.2| in 16.16) with a table value (at most 8192) stays inside 32 bits.
void TerrainLayer::viewCorners(Vector corners[4]) const {
    const Vector start[4] = {{-0x20000, 0x18000, 0x20000},
                             {0x20000, 0x18000, 0x20000},
                             {-0x20000, -0x18000, 0x20000},
                             {0x20000, -0x18000, 0x20000}};
    int sR = sineTable->sin(roll), cR = sineTable->cos(roll);
    int sP = sineTable->sin(pitch), cP = sineTable->cos(pitch);
    int sH = sineTable->sin(heading), cH = sineTable->cos(heading);
    for (int i = 0; i < 4; ++i) {
        std::int64_t x = start[i].x, y = start[i].y, z = start[i].z;
        std::int64_t x1 = (x * cR + y * sR) >> 13;
        std::int64_t y1 = (y * cR - x * sR) >> 13;
        std::int64_t y2 = (y1 * cP + z * sP) >> 13;
        std::int64_t z2 = (z * cP - y1 * sP) >> 13;
        std::int64_t x3 = (x1 * cH + z2 * sH) >> 13;
        std::int64_t z3 = (z2 * cH - x1 * sH) >> 13;
        corners[i] = {std::int32_t(x3), std::int32_t(y2), std::int32_t(z3)};
    }
}

void TerrainLayer::castRaysPlain(std::uint32_t* out) const {
    castRays<false>(out);
}
void TerrainLayer::castRaysSkipping(std::uint32_t* out) const {
    castRays<true>(out);
}

template <bool skipping> void TerrainLayer::castRays(std::uint32_t* out) const {
    Vector corners[4];
    viewCorners(corners);
    // Every ray is independent, but what one costs depends on the ground it meets, and a banked or
    // turning view puts the far hills on one side: the columns go in strips to whichever thread is
    // free.
    bandPool().forEachChunk(gridColumns, stripColumns, [&](int firstColumn, int endColumn) {
        castColumns<skipping>(out, corners, firstColumn, endColumn);
    });
}

namespace {

// `start` advanced by `times` steps, wrapping as the step-by-step sum of 32-bit values does.
inline std::int32_t advanced(std::int32_t start, std::int32_t step, int times) {
    return std::int32_t(std::uint32_t(start) + std::uint32_t(step) * std::uint32_t(times));
}

} // namespace

template <bool skipping>
void TerrainLayer::castColumns(std::uint32_t* out, const Vector corner[4], int firstColumn, int endColumn) const {
    const Vector& topLeft = corner[0];
    const Vector& topRight = corner[1];
    const Vector& bottomLeft = corner[2];
    const Vector& bottomRight = corner[3];
    Vector leftStep = {(bottomLeft.x - topLeft.x) / gridRows, (bottomLeft.y - topLeft.y) / gridRows,
                       (bottomLeft.z - topLeft.z) / gridRows};
    Vector rightStep = {(bottomRight.x - topRight.x) / gridRows, (bottomRight.y - topRight.y) / gridRows,
                        (bottomRight.z - topRight.z) / gridRows};
    Vector left = topLeft, right = topRight;
    for (int r = 0; r < gridRows; ++r) {
        Vector columnStep = {(right.x - left.x) / gridColumns, (right.y - left.y) / gridColumns,
                             (right.z - left.z) / gridColumns};
        // Column k's ray is the row's left vector advanced by k column steps.
        Vector direction = {advanced(left.x, columnStep.x, firstColumn), advanced(left.y, columnStep.y, firstColumn),
                            advanced(left.z, columnStep.z, firstColumn)};
        for (int k = firstColumn; k < endColumn; ++k) {
            out[r * gridColumns + k] = castRay<skipping>(direction);
            direction.x += columnStep.x;
            direction.y += columnStep.y;
            direction.z += columnStep.z;
        }
        left.x += leftStep.x;
        left.y += leftStep.y;
        left.z += leftStep.z;
        right.x += rightStep.x;
        right.y += rightStep.y;
        right.z += rightStep.z;
    }
}

// Colour of the ground under the ray, each channel scaled by weight / 256.
std::uint32_t TerrainLayer::shade(const Ray& ray, int weight) const {
    return scaleRGB(colours[ray.cell()], std::uint32_t(weight));
}

// Marches up to `steps` steps; returns the index of the step that reached the ground, or -1.
template <bool skipping> int TerrainLayer::march(Ray& ray, int steps) const {
    if constexpr (!skipping) {
        for (int i = 0; i < steps; ++i) {
            ray.step();
            if (heights[ray.cell()] >= ray.level())
                return i;
        }
        return -1;
    } else {
        // A leap of n steps stays within skipReach - 1 cells of the start on both axes, so no ground
        // it crosses is higher than the start's nearby peak; it is safe while that peak lies below
        // the lower of the ray's heights at both ends of the leap.
        int widest = std::max({std::abs(ray.sx), std::abs(ray.sz), 1});
        int leap = 512 * (skipReach - 1) / widest;
        int i = 0;
        while (i < steps) {
            if (leap >= 2) {
                int n = std::min(leap, steps - i);
                std::int64_t end = std::int64_t(std::int32_t(ray.h)) + std::int64_t(n) * ray.sy;
                std::int64_t low = std::min<std::int64_t>(std::int32_t(ray.h), end) >> 8;
                if (nearbyPeak[ray.cell()] < low) {
                    ray.px += std::uint32_t(n) * std::uint32_t(ray.sx);
                    ray.pz += std::uint32_t(n) * std::uint32_t(ray.sz);
                    ray.h += std::uint32_t(n) * std::uint32_t(ray.sy);
                    i += n;
                    continue;
                }
            }
            // Near ground: a few plain steps before looking again.
            for (int stop = std::min(i + 8, steps); i < stop; ++i) {
                ray.step();
                if (heights[ray.cell()] >= ray.level())
                    return i;
            }
        }
        return -1;
    }
}

template <bool skipping> std::uint32_t TerrainLayer::castRay(const Vector& direction) const {
    Ray ray = {std::uint32_t(posX), std::uint32_t(posY), std::uint32_t(altitude),
               direction.x >> 8,    direction.y >> 8,    direction.z >> 8};
    // Stage 1: 128 single steps, full brightness; stage 2: 64 double steps fading to black.
    bool nearStage = true;
    int segment = 128;
    int hit = march<skipping>(ray, segment);
    if (hit < 0) {
        ray.doubleStep();
        nearStage = false;
        segment = 64;
        hit = march<skipping>(ray, segment);
        if (hit < 0)
            return 0;
    }
    int left = segment - 1 - hit;
    std::uint32_t colour = shade(ray, nearStage ? 255 : left * 4);
    if (heights[ray.cell()] > waterLevel)
        return colour;

    // Water: mirror the ray upwards from two steps on and march the rest of its way.
    ray.px += 2u * std::uint32_t(ray.sx);
    ray.pz += 2u * std::uint32_t(ray.sz);
    ray.h -= 2u * std::uint32_t(ray.sy);
    ray.sy = -ray.sy;
    segment = left + 1;
    hit = march<skipping>(ray, segment);
    if (hit < 0 && nearStage) {
        ray.doubleStep();
        nearStage = false;
        segment = 64;
        hit = march<skipping>(ray, segment);
    }
    if (hit < 0)
        return colour;
    int left2 = segment - 1 - hit;
    return addSaturateBytes(colour, shade(ray, nearStage ? 255 : left2 * 4));
}

void TerrainLayer::enlargeGridPlain(const std::uint32_t* in, std::uint32_t* pixels, int firstRow, int endRow) {
    // Channels in fixed point with 8 or more fraction bits: red as c & 0xFF0000, green as
    // c & 0xFF00, blue as (c & 0xFF) << 8.
    struct Channels {
        std::int32_t r, g, b;
    };
    auto split = [](std::uint32_t c) {
        return Channels{std::int32_t(c & 0xFF0000), std::int32_t(c & 0xFF00), std::int32_t((c & 0xFF) << 8)};
    };
    auto quarterStep = [](Channels from, Channels to) {
        return Channels{(to.r - from.r) >> 2, (to.g - from.g) >> 2, (to.b - from.b) >> 2};
    };
    for (int r = firstRow; r < endRow; ++r) {
        for (int k = 0; k < gridColumns - 1; ++k) {
            Channels topLeft = split(in[r * gridColumns + k]);
            Channels topRight = split(in[r * gridColumns + k + 1]);
            Channels bottomLeft = split(in[(r + 1) * gridColumns + k]);
            Channels bottomRight = split(in[(r + 1) * gridColumns + k + 1]);
            Channels leftStep = quarterStep(topLeft, bottomLeft);
            Channels rightStep = quarterStep(topRight, bottomRight);
            Channels left = topLeft, right = topRight;
            for (int j = 0; j < 4; ++j) {
                Channels value = left;
                Channels step = quarterStep(left, right);
                std::uint32_t* out = pixels + (4 * r + j) * 512 + 4 * k;
                for (int i = 0; i < 4; ++i) {
                    out[i] = (std::uint32_t(value.r) & 0xFF0000) | (std::uint32_t(value.g) & 0xFF00) |
                             ((std::uint32_t(value.b) >> 8) & 0xFF) | 0xFF000000u;
                    value.r += step.r;
                    value.g += step.g;
                    value.b += step.b;
                }
                left.r += leftStep.r;
                left.g += leftStep.g;
                left.b += leftStep.b;
                right.r += rightStep.r;
                right.g += rightStep.g;
                right.b += rightStep.b;
            }
        }
    }
}

// Four neighbouring blocks at once, one per lane: each channel's edges and steps are vectors of the
// four blocks' values, and a 4 x 4 transpose turns "pixel i of each block" into "the four pixels of
// one block" for storing.
void TerrainLayer::enlargeGridSse2(const std::uint32_t* in, std::uint32_t* pixels, int firstRow, int endRow) {
    const __m128i redMask = _mm_set1_epi32(0xFF0000);
    const __m128i greenMask = _mm_set1_epi32(0xFF00);
    const __m128i blueMask = _mm_set1_epi32(0xFF);
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    struct Channels {
        __m128i r, g, b;
    };
    auto split = [&](const std::uint32_t* at) {
        __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        return Channels{_mm_and_si128(c, redMask), _mm_and_si128(c, greenMask),
                        _mm_slli_epi32(_mm_and_si128(c, blueMask), 8)};
    };
    auto quarterStep = [](const Channels& from, const Channels& to) {
        return Channels{_mm_srai_epi32(_mm_sub_epi32(to.r, from.r), 2),
                        _mm_srai_epi32(_mm_sub_epi32(to.g, from.g), 2),
                        _mm_srai_epi32(_mm_sub_epi32(to.b, from.b), 2)};
    };
    auto advance = [](Channels& value, const Channels& step) {
        value.r = _mm_add_epi32(value.r, step.r);
        value.g = _mm_add_epi32(value.g, step.g);
        value.b = _mm_add_epi32(value.b, step.b);
    };
    auto pack = [&](const Channels& value) {
        __m128i blue = _mm_and_si128(_mm_srli_epi32(value.b, 8), blueMask);
        return _mm_or_si128(_mm_or_si128(_mm_and_si128(value.r, redMask), _mm_and_si128(value.g, greenMask)),
                            _mm_or_si128(blue, opaque));
    };
    for (int r = firstRow; r < endRow; ++r) {
        for (int k = 0; k < gridColumns - 1; k += 4) {
            const std::uint32_t* corner = in + r * gridColumns + k;
            Channels topLeft = split(corner), topRight = split(corner + 1);
            Channels bottomLeft = split(corner + gridColumns), bottomRight = split(corner + gridColumns + 1);
            Channels leftStep = quarterStep(topLeft, bottomLeft),
                     rightStep = quarterStep(topRight, bottomRight);
            Channels left = topLeft, right = topRight;
            for (int j = 0; j < 4; ++j) {
                Channels value = left;
                Channels step = quarterStep(left, right);
                __m128i p0 = pack(value);
                advance(value, step);
                __m128i p1 = pack(value);
                advance(value, step);
                __m128i p2 = pack(value);
                advance(value, step);
                __m128i p3 = pack(value);
                // Lanes are blocks, p0..p3 pixels: transpose to one vector per block.
                __m128i a = _mm_unpacklo_epi32(p0, p1), b = _mm_unpacklo_epi32(p2, p3);
                __m128i c = _mm_unpackhi_epi32(p0, p1), d = _mm_unpackhi_epi32(p2, p3);
                __m128i* out = reinterpret_cast<__m128i*>(pixels + (4 * r + j) * 512 + 4 * k);
                _mm_storeu_si128(out, _mm_unpacklo_epi64(a, b));
                _mm_storeu_si128(out + 1, _mm_unpackhi_epi64(a, b));
                _mm_storeu_si128(out + 2, _mm_unpacklo_epi64(c, d));
                _mm_storeu_si128(out + 3, _mm_unpackhi_epi64(c, d));
                advance(left, leftStep);
                advance(right, rightStep);
            }
        }
    }
}
