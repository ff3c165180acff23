#include "effects/GridMovieLayer.h"

#include "core/BandPool.h"
#include "core/PixelOps.h"
#include "core/SimdLevel.h"
#include "core/Truncate.h"
#include "platform/ptc/Error.h"

#include <immintrin.h>

#include <cmath>
#include <string>

namespace {

constexpr int columns = GridMovieLayer::gridColumns;
constexpr int cellColumns = columns - 1;               // 128 cells of 4 pixels make 512
constexpr int cellRows = GridMovieLayer::gridRows - 1; // 96 cells of 4 rows make 384

// Per colour channel (a * v + b * w) >> 8, v + w = 255; the top byte is dropped.
inline std::uint32_t blendFrames(std::uint32_t a, std::uint32_t b, std::uint32_t v, std::uint32_t w) {
    return mixRGB(a, v, b, w);
}

// Each cell straight from its definition: the blended corners, then per pixel the floor of
// ((4-k)(4-r) TL + k(4-r) TR + (4-k) r BL + k r BR) / 16 for every channel.
void drawPlain(std::uint32_t* target, const std::uint32_t* frameA, const std::uint32_t* frameB,
               std::uint32_t v, std::uint32_t w) {
    for (int i = 0; i < cellRows; ++i) {
        for (int j = 0; j < cellColumns; ++j) {
            int corner = i * columns + j;
            std::uint32_t topLeft = blendFrames(frameA[corner], frameB[corner], v, w);
            std::uint32_t topRight = blendFrames(frameA[corner + 1], frameB[corner + 1], v, w);
            std::uint32_t bottomLeft = blendFrames(frameA[corner + columns], frameB[corner + columns], v, w);
            std::uint32_t bottomRight =
                blendFrames(frameA[corner + columns + 1], frameB[corner + columns + 1], v, w);
            for (int r = 0; r < 4; ++r) {
                std::uint32_t* row = target + (4 * i + r) * 512 + 4 * j;
                for (int k = 0; k < 4; ++k) {
                    std::uint32_t pixel = 0xFF000000;
                    for (int shift = 0; shift < 24; shift += 8) {
                        std::uint32_t sum = (4 - k) * (4 - r) * ((topLeft >> shift) & 0xFF) +
                                            k * (4 - r) * ((topRight >> shift) & 0xFF) +
                                            (4 - k) * r * ((bottomLeft >> shift) & 0xFF) +
                                            k * r * ((bottomRight >> shift) & 0xFF);
                        pixel |= (sum >> 4) << shift;
                    }
                    row[k] = pixel;
                }
            }
        }
    }
}

// The vector path blends the whole grid once, then builds every screen row from two grid rows:
// per channel E(j) = (4 - r) G(i, j) + r G(i + 1, j) and pixel 4j + k = ((4 - k) E(j) + k E(j + 1)) >> 4,
// the same sum as the cell formula. Channels sit in 16-bit lanes (at most 16 * 255).
void blendGridSse2(std::uint32_t* grid, const std::uint32_t* frameA, const std::uint32_t* frameB, int v,
                   int w) {
    const __m128i lowBytes = _mm_set1_epi16(0x00FF);
    const __m128i highBytes = _mm_set1_epi16(static_cast<short>(0xFF00));
    const __m128i weightA = _mm_set1_epi16(static_cast<short>(v));
    const __m128i weightB = _mm_set1_epi16(static_cast<short>(w));
    int n = 0;
    for (; n + 4 <= GridMovieLayer::frameSize; n += 4) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frameA + n));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frameB + n));
        __m128i even = _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(a, lowBytes), weightA),
                                     _mm_mullo_epi16(_mm_and_si128(b, lowBytes), weightB));
        __m128i odd = _mm_add_epi16(_mm_mullo_epi16(_mm_srli_epi16(a, 8), weightA),
                                    _mm_mullo_epi16(_mm_srli_epi16(b, 8), weightB));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(grid + n),
                         _mm_or_si128(_mm_srli_epi16(even, 8), _mm_and_si128(odd, highBytes)));
    }
    for (; n < GridMovieLayer::frameSize; ++n)
        grid[n] = blendFrames(frameA[n], frameB[n], v, w);
}

// Screen rows [firstRow, endRow).
void drawRowsSse2(std::uint32_t* target, const std::uint32_t* grid, int firstRow, int endRow) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000));
    const __m128i upperHalf = _mm_set_epi32(-1, -1, 0, 0);
    const __m128i twoAndThree = _mm_set_epi16(3, 3, 3, 3, 2, 2, 2, 2);
    alignas(16) std::uint16_t edge[(columns + 1) * 4];
    for (int y = firstRow; y < endRow; ++y) {
        const std::uint32_t* top = grid + (y >> 2) * columns;
        const std::uint32_t* bottom = top + columns;
        int r = y & 3;
        const __m128i topWeight = _mm_set1_epi16(static_cast<short>(4 - r));
        const __m128i bottomWeight = _mm_set1_epi16(static_cast<short>(r));
        // E for 130 points (the last is a copy of the 129th's neighbour and is never used alone).
        for (int j = 0; j < columns - 1; j += 2) {
            __m128i upper =
                _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(top + j)), zero);
            __m128i lower =
                _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(bottom + j)), zero);
            __m128i sum =
                _mm_add_epi16(_mm_mullo_epi16(upper, topWeight), _mm_mullo_epi16(lower, bottomWeight));
            _mm_store_si128(reinterpret_cast<__m128i*>(edge + 4 * j), sum);
        }
        __m128i upper = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(top[columns - 1])), zero);
        __m128i lower = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(bottom[columns - 1])), zero);
        _mm_storel_epi64(
            reinterpret_cast<__m128i*>(edge + 4 * (columns - 1)),
            _mm_add_epi16(_mm_mullo_epi16(upper, topWeight), _mm_mullo_epi16(lower, bottomWeight)));

        std::uint32_t* row = target + y * 512;
        for (int j = 0; j < cellColumns; ++j) {
            __m128i pair = _mm_loadu_si128(reinterpret_cast<const __m128i*>(edge + 4 * j)); // E(j), E(j+1)
            __m128i left = _mm_unpacklo_epi64(pair, pair);
            __m128i step = _mm_sub_epi16(_mm_unpackhi_epi64(pair, pair), left);
            __m128i base = _mm_slli_epi16(left, 2);
            __m128i first = _mm_add_epi16(base, _mm_and_si128(step, upperHalf));      // k = 0, 1
            __m128i second = _mm_add_epi16(base, _mm_mullo_epi16(step, twoAndThree)); // k = 2, 3
            __m128i pixels = _mm_packus_epi16(_mm_srli_epi16(first, 4), _mm_srli_epi16(second, 4));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 4 * j), _mm_or_si128(pixels, opaque));
        }
    }
}

} // namespace

GridMovieLayer::GridMovieLayer(Bitmap& frames, double framesPerSecond)
    : frames(frames.pixels), frameCount(0), framesPerSecond(framesPerSecond) {
    std::int64_t pixelCount = frames.pixels != nullptr && frames.width > 0 && frames.height > 0
                                  ? static_cast<std::int64_t>(frames.width) * frames.height
                                  : 0;
    if (pixelCount < frameSize)
        throw ptc::DynamicError("grid movie picture has " + std::to_string(pixelCount) +
                                " pixels, fewer than one 129 x 97 frame (12513)");
    frameCount = static_cast<std::int32_t>(pixelCount / frameSize);
    blendedGrid.resize(frameSize);
}

void GridMovieLayer::setFrame(int frame) {
    position = frame;
    wrapPosition();
}

void GridMovieLayer::skipFrames(int delta) {
    position = position + delta;
    wrapPosition();
}

void GridMovieLayer::wrapPosition() {
    double count = frameCount;
    if (!std::isfinite(position))
        position = 0.0;
    if (position >= 0.0 && position < count)
        return;
    // fmod gives exactly what subtracting or adding the frame count one at a time gives.
    position = std::fmod(position, count);
    if (position < 0.0)
        position += count;
    // A tiny negative position rounds up to the count itself: that is frame 0.
    if (position >= count)
        position = 0.0;
    position += 0.0; // -0.0 becomes 0.0
}

void GridMovieLayer::render(Bitmap& target, double seconds) {
    if (lastTime == -1.0)
        lastTime = seconds;
    double elapsed = seconds - lastTime;
    lastTime = seconds;
    position = elapsed * framesPerSecond + position;
    wrapPosition();
    double next = position + 1.0;
    while (next >= frameCount)
        next -= frameCount;

    const std::uint32_t* frameA = frames + static_cast<std::int64_t>(truncateToInt(position)) * frameSize;
    const std::uint32_t* frameB = frames + static_cast<std::int64_t>(truncateToInt(next)) * frameSize;
    int w = truncateToInt((position - std::floor(position)) * 256.0);
    int v = 255 - w;
    if (simdLevel() == SimdLevel::plain) {
        drawPlain(target.pixels, frameA, frameB, v, w);
        return;
    }
    // The blend of the small grid stays on one thread; each screen row reads it on its own.
    blendGridSse2(blendedGrid.data(), frameA, frameB, v, w);
    rowBands.forEachBand(bandPool(), 384, [&](int firstRow, int endRow) {
        drawRowsSse2(target.pixels, blendedGrid.data(), firstRow, endRow);
    });
}
