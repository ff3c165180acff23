#include "effects/ParticleFlowLayer.h"

#include "core/BandPool.h"
#include "core/PixelOps.h"
#include "core/Random.h"
#include "core/ScreenSize.h"
#include "core/ShowObjects.h"
#include "core/SimdLevel.h"
#include "core/Truncate.h"
#include "platform/ptc/Error.h"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cstring>

std::uint32_t flowRandomState = initialFlowRandomState;

int flowRandom(int n) {
    flowRandomState = std::rotl(flowRandomState + 157u, 11) ^ 157u;
    // 64-bit, so that a count past 32,768 cannot overflow; the same value wherever 32 bits suffice.
    return static_cast<int>(static_cast<std::int64_t>(flowRandomState & 0xFFFF) * n / 65535);
}

namespace {

constexpr std::int32_t minX = 768, maxX = 130048; // columns 3 .. 508 in 8.8
constexpr std::int32_t minY = 768, maxY = 97280;  // rows 3 .. 380

// A new particle on one of rows 3, 192 and 380 at a random column. The order of the two draws is
// part of the shared random sequence.
FlowParticle spawn() {
    std::int32_t y = nextRandom(3) * 48896 + 256;
    std::int32_t x = nextRandom(130560) + 256;
    return {std::clamp(x, minX, maxX), std::clamp(y, minY, maxY)};
}

// Map slope in 8.8, clamped to 4 pixels a frame.
inline std::int32_t slope(int higher, int lower) {
    return std::clamp((higher - lower) * 256, -1024, 1024);
}

// One jitter: a draw of 2 (or the rare 3) moves forward, 0 moves back, 1 stays.
inline std::int32_t jitter(int draw, std::int32_t step) {
    return draw >= 2 ? 4 * step : (draw == 0 ? -4 * step : 0);
}

// Moves the particle down the map's slopes and by its two jitter draws (across, then down), and
// returns where its sprite goes, tinted by the screen below where it stood.
FlowStamp moveParticle(FlowParticle& particle, const ByteMap* map, const std::uint32_t* screen, int level,
                       int drawAcross, int drawDown) {
    int p = (particle.y >> 8) * 512 + (particle.x >> 8);
    // A sixteenth of what lies below, lifted so that even black gives a dim glow.
    std::uint32_t colour = ((screen[p] >> 4) & 0x0F0F0F) + 0x1F0F07;
    std::int32_t gx = slope(map[p + 1], map[p - 1]);
    std::int32_t gy = slope(map[p + 512], map[p - 512]);
    std::int32_t nx = particle.x + gx, ny = particle.y + gy;
    // On flat ground the music shakes the particles harder.
    std::int32_t step = (gx > -64 && gx < 64 && gy > -64 && gy < 64) ? level + 128 : level;
    nx += jitter(drawAcross, step);
    ny += jitter(drawDown, step);
    ny = std::max(ny, minY);
    nx = std::clamp(nx, minX, maxX);
    ny = std::min(ny, maxY);
    particle.x = nx, particle.y = ny;
    return {(ny >> 8) - 3, (nx >> 8) - 3, colour};
}

// Rows [firstRow, endRow) of the glow, the ones a band of rows owns, take the sprite's rows that
// fall on them.
struct StampRows {
    int firstRow = 0, endRow = screenHeight;
};

void stampPlain(std::uint32_t* glow, const ByteMap* sprite, int top, int left, std::uint32_t colour,
                StampRows rows = {}) {
    for (int r = 0; r < 7; ++r) {
        int row = top + r;
        if (row < std::max(rows.firstRow, 0) || row >= std::min(rows.endRow, screenHeight))
            continue;
        for (int k = 0; k < 7; ++k) {
            int column = left + k;
            if (column < 0 || column > 511)
                continue;
            std::uint32_t& cell = glow[row * 512 + column];
            cell = addSaturateBytes(cell, scaleRGB(colour, sprite[r * 8 + k])) | 0xFF000000;
        }
    }
}

// The sprite's weights in 16-bit lanes, each cell's weight in the four lanes of its pixel, eight
// pixels a row with the eighth weight 0.
struct SpriteWeights {
    __m128i lanes[7][4];

    explicit SpriteWeights(const ByteMap* sprite) {
        for (int r = 0; r < 7; ++r) {
            std::uint16_t w[8];
            for (int k = 0; k < 8; ++k)
                w[k] = k < 7 ? sprite[r * 8 + k] : 0;
            for (int pair = 0; pair < 4; ++pair) {
                short a = static_cast<short>(w[2 * pair]), b = static_cast<short>(w[2 * pair + 1]);
                lanes[r][pair] = _mm_setr_epi16(a, a, a, a, b, b, b, b);
            }
        }
    }
};

// Seven rows of eight pixels; the eighth pixel gets 0 added and keeps its top byte, so it is
// written back unchanged. Needs column left + 7 inside the row.
void stampSse2(std::uint32_t* glow, const SpriteWeights& weights, int top, int left, std::uint32_t colour,
               StampRows rows = {}) {
    const __m128i colourLanes =
        _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(colour)), _mm_setzero_si128());
    const __m128i opaqueFirst = _mm_set1_epi32(static_cast<int>(0xFF000000));
    const __m128i opaqueSecond = _mm_setr_epi32(static_cast<int>(0xFF000000), static_cast<int>(0xFF000000),
                                                static_cast<int>(0xFF000000), 0);
    int firstSpriteRow = std::max(rows.firstRow - top, 0);
    int endSpriteRow = std::min(rows.endRow - top, 7);
    std::uint32_t* cell = glow + (top + firstSpriteRow) * 512 + left;
    for (int r = firstSpriteRow; r < endSpriteRow; ++r, cell += 512) {
        const __m128i* w = weights.lanes[r];
        __m128i first = _mm_packus_epi16(_mm_srli_epi16(_mm_mullo_epi16(colourLanes, w[0]), 8),
                                         _mm_srli_epi16(_mm_mullo_epi16(colourLanes, w[1]), 8));
        __m128i second = _mm_packus_epi16(_mm_srli_epi16(_mm_mullo_epi16(colourLanes, w[2]), 8),
                                          _mm_srli_epi16(_mm_mullo_epi16(colourLanes, w[3]), 8));
        __m128i* left4 = reinterpret_cast<__m128i*>(cell);
        __m128i* right4 = reinterpret_cast<__m128i*>(cell + 4);
        _mm_storeu_si128(left4, _mm_or_si128(_mm_adds_epu8(_mm_loadu_si128(left4), first), opaqueFirst));
        _mm_storeu_si128(right4, _mm_or_si128(_mm_adds_epu8(_mm_loadu_si128(right4), second), opaqueSecond));
    }
}

// The sprite of `stamp`, four pixels at a time where its row of eight lies inside the screen.
void addSprite(std::uint32_t* glow, const ByteMap* sprite, const SpriteWeights& weights, const FlowStamp& stamp,
               bool vector, StampRows rows = {}) {
    if (vector && stamp.left + 8 <= 512)
        stampSse2(glow, weights, stamp.top, stamp.left, stamp.colour, rows);
    else
        stampPlain(glow, sprite, stamp.top, stamp.left, stamp.colour, rows);
}

// target = min(255, target + glow) per byte, then the glow loses a quarter (rounded down) per byte.
void combinePlain(std::uint32_t* target, std::uint32_t* glow) {
    for (int n = 0; n < screenPixels; ++n) {
        target[n] = addSaturateBytes(target[n], glow[n]);
        glow[n] = subtractSaturateBytes(glow[n], (glow[n] >> 2) & 0x3F3F3F3F);
    }
}

// Pixels [begin, end), a multiple of 4 apart.
void combineSse2(std::uint32_t* target, std::uint32_t* glow, int begin = 0, int end = screenPixels) {
    const __m128i quarterMask = _mm_set1_epi8(0x3F);
    for (int n = begin; n < end; n += 4) {
        __m128i* targetCells = reinterpret_cast<__m128i*>(target + n);
        __m128i* glowCells = reinterpret_cast<__m128i*>(glow + n);
        __m128i g = _mm_loadu_si128(glowCells);
        _mm_storeu_si128(targetCells, _mm_adds_epu8(_mm_loadu_si128(targetCells), g));
        _mm_storeu_si128(glowCells, _mm_subs_epu8(g, _mm_and_si128(_mm_srli_epi16(g, 2), quarterMask)));
    }
}

} // namespace

ParticleFlowLayer::ParticleFlowLayer(int count, ByteMap* flow0, ByteMap* flow1, ByteMap* flow2,
                                     ByteMap* flow3, ByteMap* sprite)
    : count(count), flowMaps{flow0, flow1, flow2, flow3}, glow(workBufferA), sprite(sprite) {
    if (count < 0)
        throw ptc::DynamicError("particle count " + std::to_string(count) + " is negative");
    particles.reserve(count);
    for (int i = 0; i < count; ++i)
        particles.push_back(spawn());
    std::memset(glow, 0, screenPixels * sizeof(std::uint32_t));
}

void ParticleFlowLayer::fadeOut() {
    growing = -1;
}

void ParticleFlowLayer::nextFlowMap() {
    if (flowIndex <= 0)
        ++flowIndex;
}

void ParticleFlowLayer::render(Bitmap& target, double seconds) {
    // The frame's draws come first, in the single loop's order; the rest is split over the pool.
    const bool banded = simdLevel() != SimdLevel::plain && bandPool().bands() > 1;
    int level = std::min(musicLevel, 255);
    for (int respawn = 0; respawn < 16; ++respawn) {
        // The draw can be `count` itself: that is taken as the last particle.
        int chosen = std::min(flowRandom(count), count - 1);
        if (chosen >= 0)
            particles[chosen] = spawn();
    }
    if (growing > 0)
        activeCount = std::min(count, truncateToInt(seconds * 256.0)); // 256 more each second
    else
        activeCount = activeCount - (activeCount >> 3);
    if (banded)
        return moveStampAndCombineInBands(target.pixels, level);
    moveAndStamp(target.pixels, level);
    if (simdLevel() == SimdLevel::plain)
        combinePlain(target.pixels, glow);
    else
        combineSse2(target.pixels, glow);
}

void ParticleFlowLayer::moveAndStamp(const std::uint32_t* screen, int level) {
    const ByteMap* map = flowMaps[flowIndex];
    bool vector = simdLevel() != SimdLevel::plain;
    SpriteWeights weights(sprite);
    for (int i = 0; i < activeCount; ++i) {
        int drawAcross = flowRandom(3);
        int drawDown = flowRandom(3);
        FlowStamp stamp = moveParticle(particles[i], map, screen, level, drawAcross, drawDown);
        addSprite(glow, sprite, weights, stamp, vector);
    }
}

// The jitter draws are one chain, so they are drawn first. Each particle then reads only itself,
// the map and the screen, which nothing changes before the combine: a band of particles moves at
// once. Stamps add with per-byte saturation, so their order does not matter: a band of rows takes
// the parts of every sprite that fall on it, and its glow rows, final then, are combined.
void ParticleFlowLayer::moveStampAndCombineInBands(std::uint32_t* screen, int level) {
    const ByteMap* map = flowMaps[flowIndex];
    const int moving = std::max(activeCount, 0);
    jitterDraws.resize(2 * static_cast<std::size_t>(moving));
    for (std::uint8_t& draw : jitterDraws)
        draw = static_cast<std::uint8_t>(flowRandom(3));
    stamps.resize(moving);
    BandPool& pool = bandPool();
    pool.forEachBand(moving, [&](int begin, int end) {
        for (int i = begin; i < end; ++i)
            stamps[i] = moveParticle(particles[i], map, screen, level, jitterDraws[2 * i], jitterDraws[2 * i + 1]);
    });
    const SpriteWeights weights(sprite);
    pool.forEachBand(screenHeight, [&](int firstRow, int endRow) {
        const StampRows rows{firstRow, endRow};
        for (const FlowStamp& stamp : stamps) {
            if (stamp.top + 7 <= firstRow || stamp.top >= endRow)
                continue;
            addSprite(glow, sprite, weights, stamp, true, rows);
        }
        combineSse2(screen, glow, firstRow * screenWidth, endRow * screenWidth);
    });
}
