#include "effects/NoiseLayer.h"

#include "core/BandPool.h"
#include "core/FadeEase.h"
#include "core/PixelOps.h"
#include "core/ScreenSize.h"
#include "core/SimdLevel.h"

#include <immintrin.h>

#include <cstring>

namespace {

std::uint32_t greyPixel(std::uint32_t grey) {
    return grey * 0x01010101u;
}

// Per byte (b * a + grey * k) >> 8 with a + k = 255, so the sum stays below 65,536 and never
// needs the saturation to 255.
std::uint32_t mixGrey(std::uint32_t pixel, std::uint32_t grey, std::uint32_t k) {
    return mixBytes(pixel, 255 - k, greyPixel(grey), k);
}

// Four pixels mixed with four greys (one per byte of `greys`, the first lowest). Even bytes are
// worked on in the low halves of 16-bit lanes, odd bytes in the high halves.
class MixFourSse2 {
  public:
    explicit MixFourSse2(std::uint32_t k)
        : noiseWeight(_mm_set1_epi16(static_cast<short>(k))),
          pictureWeight(_mm_set1_epi16(static_cast<short>(255 - k))) {}

    void operator()(std::uint32_t* four, std::uint32_t greys) const {
        const __m128i lowBytes = _mm_set1_epi16(0x00FF);
        const __m128i highBytes = _mm_set1_epi16(static_cast<short>(0xFF00));
        __m128i noise = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(greys)), _mm_setzero_si128());
        noise = _mm_mullo_epi16(_mm_unpacklo_epi16(noise, noise), noiseWeight); // grey * k in both lanes
        __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(four));
        __m128i even = _mm_srli_epi16(
            _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(pixels, lowBytes), pictureWeight), noise), 8);
        __m128i odd = _mm_and_si128(
            _mm_add_epi16(_mm_mullo_epi16(_mm_srli_epi16(pixels, 8), pictureWeight), noise), highBytes);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(four), _mm_or_si128(even, odd));
    }

  private:
    __m128i noiseWeight, pictureWeight;
};

// How one frame puts its static on the screen: pure static, or mixed in with weight k of 255.
struct StaticStyle {
    bool pure;
    std::uint32_t k;
    bool simd;
};

// Pixels [0, count) from greys the generator made beforehand (count a multiple of 4).
void drawReadyGreys(std::uint32_t* target, const std::uint8_t* greys, int count, StaticStyle style) {
    if (style.pure) {
        for (int n = 0; n < count; ++n)
            target[n] = greyPixel(greys[n]);
    } else if (!style.simd) {
        for (int n = 0; n < count; ++n)
            target[n] = mixGrey(target[n], greys[n], style.k);
    } else {
        MixFourSse2 mixFour(style.k);
        for (int n = 0; n < count; n += 4) {
            std::uint32_t four;
            std::memcpy(&four, greys + n, sizeof four);
            mixFour(target + n, four);
        }
    }
}

// Pixels [0, count) with greys drawn from the generator as they go (count a multiple of 4). The
// generator is a serial chain; the blend of each group of four pixels runs beside it.
void drawGeneratedGreys(std::uint32_t* target, int count, std::uint32_t& state, StaticStyle style) {
    std::uint32_t s = state;
    if (style.pure) {
        for (int n = 0; n < count; ++n)
            target[n] = greyPixel(nextStaticGrey(s));
    } else if (!style.simd) {
        for (int n = 0; n < count; ++n)
            target[n] = mixGrey(target[n], nextStaticGrey(s), style.k);
    } else {
        MixFourSse2 mixFour(style.k);
        for (int n = 0; n < count; n += 4) {
            std::uint32_t greys = nextStaticGrey(s);
            greys |= nextStaticGrey(s) << 8;
            greys |= nextStaticGrey(s) << 16;
            greys |= nextStaticGrey(s) << 24;
            mixFour(target + n, greys);
        }
    }
    state = s;
}

} // namespace

NoiseLayer::NoiseLayer() {
    position = 0.0;
    rate = 0.0;
    direction = 1.0;
}

void NoiseLayer::setFadeLimit(double limit) {
    fadeLimit = limit;
}

void NoiseLayer::render(Bitmap& target, double seconds) {
    advanceFade(position, lastTime, direction, rate, seconds);
    if (position < 0.0)
        position = 0.0;
    if (position > fadeLimit)
        position = fadeLimit;
    if (!(position > 0.0)) {
        if (ahead != nullptr)
            ahead->expect(noiseState);
        return; // untouched, and the generator does not advance
    }
    StaticStyle style{position == 1.0, 0, simdLevel() != SimdLevel::plain};
    if (!style.pure)
        style.k = static_cast<std::uint32_t>(fadeEase(*sineTable, position));
    StaticAhead::Ready ready = ahead != nullptr ? ahead->acquire(noiseState) : StaticAhead::Ready{nullptr, 0, noiseState};
    // What is ready goes on by rows, a band of them per thread; the rest follows the chain.
    bandPool().forEachBand(ready.count / screenWidth, [&](int firstRow, int endRow) {
        drawReadyGreys(target.pixels + firstRow * screenWidth, ready.greys + firstRow * screenWidth,
                       (endRow - firstRow) * screenWidth, style);
    });
    noiseState = ready.stateAfter;
    drawGeneratedGreys(target.pixels + ready.count, screenPixels - ready.count, noiseState, style);
    if (ahead != nullptr)
        ahead->release(noiseState);
}

void NoiseLayer::renderAheadWith(StaticAhead* staticAhead) {
    ahead = staticAhead;
}
