#include "effects/FeedbackMapLayer.h"

#include "core/PixelOps.h"
#include "core/ScreenSize.h"
#include "core/SimdLevel.h"
#include "core/Truncate.h"
#include "effects/Avx2Loops.h"
#include "effects/PictureSize.h"

#include <emmintrin.h>

#include <cstdio>

namespace {

constexpr int visibleStart = 64 * 512; // buffer row 64 is screen row 0

struct Weights {
    std::uint32_t keep, picture, mix, screen;
};

void feedBackPlain(std::uint32_t* buffer, const std::uint32_t* picture, const std::uint32_t* screen,
                   Weights w) {
    for (int i = 0; i < screenPixels; ++i) {
        std::uint32_t kept = mixRGB(buffer[i], w.keep, picture[i], w.picture);
        buffer[i] = mixRGB(kept, w.mix, screen[i], w.screen);
    }
}

// Even bytes in the low halves of 16-bit lanes, odd bytes in the high halves shifted down; both
// mixes stay within 16 bits because each pair of weights adds up to 255.
void feedBackSse2(std::uint32_t* buffer, const std::uint32_t* picture, const std::uint32_t* screen,
                  Weights w) {
    const __m128i lowBytes = _mm_set1_epi16(0x00FF);
    const __m128i colourBytes = _mm_set1_epi32(0x00FFFFFF);
    const __m128i keep = _mm_set1_epi16(static_cast<short>(w.keep));
    const __m128i pictureWeight = _mm_set1_epi16(static_cast<short>(w.picture));
    const __m128i mix = _mm_set1_epi16(static_cast<short>(w.mix));
    const __m128i screenWeight = _mm_set1_epi16(static_cast<short>(w.screen));
    for (int i = 0; i < screenPixels; i += 4) {
        __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buffer + i));
        __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(picture + i));
        __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(screen + i));
        __m128i even =
            _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(c, lowBytes), keep),
                                         _mm_mullo_epi16(_mm_and_si128(p, lowBytes), pictureWeight)),
                           8);
        __m128i odd = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_srli_epi16(c, 8), keep),
                                                   _mm_mullo_epi16(_mm_srli_epi16(p, 8), pictureWeight)),
                                     8);
        even = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(even, mix),
                                            _mm_mullo_epi16(_mm_and_si128(t, lowBytes), screenWeight)),
                              8);
        odd = _mm_srli_epi16(
            _mm_add_epi16(_mm_mullo_epi16(odd, mix), _mm_mullo_epi16(_mm_srli_epi16(t, 8), screenWeight)), 8);
        __m128i out = _mm_and_si128(_mm_or_si128(even, _mm_slli_epi16(odd, 8)), colourBytes);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(buffer + i), out);
    }
}

} // namespace

FeedbackMapLayer::FeedbackMapLayer(Bitmap& p0, Bitmap& p1, Bitmap& p2, Bitmap& p3)
    : GridMapLayer(static_cast<std::uint32_t*>(nullptr)) {
    // The file is only created (or emptied); nothing is ever written to it.
    if (std::FILE* file = std::fopen("demo.debug", "wb"))
        std::fclose(file);
    for (Bitmap* given : {&p0, &p1, &p2, &p3})
        requirePictureSize(*given, 512, 384);
    feedback.assign(512 * 512, 0);
    pictures[0] = p0.pixels, pictures[1] = p1.pixels, pictures[2] = p2.pixels, pictures[3] = p3.pixels;
    texture = feedback.data();
}

void FeedbackMapLayer::nextPicture() {
    pictureIndex = (pictureIndex + 1) & 3;
}

void FeedbackMapLayer::beginFrame(double s) {
    auto wave = [&](double speed) { return sineTable->sin(truncateToInt(s * speed)); };
    picture = pictures[pictureIndex];
    int shared = wave(1332.0);
    // Four sines of at most 8191 each plus 0x8000 stay within 0..65535: the weights are 0..255.
    keepWeight = (wave(1432.0) + wave(132.0) + wave(632.0) + shared + 0x8000) >> 8;
    pictureWeight = 255 - keepWeight;
    mixWeight = (wave(932.0) + wave(732.0) + wave(1532.0) + shared + 0x8000) >> 8;
    screenWeight = 255 - mixWeight;
    angle = (wave(530.0) >> 5) + (wave(140.0) >> 3);
    zoom = ((-wave(210.0)) >> 2) + 8192;
}

void FeedbackMapLayer::mapPoint(std::int32_t out[2], int x, int y, double s) {
    int q = ((y >> 8) * (y >> 8) + (x >> 8) * (x >> 8)) >> 3;
    int d = sineTable->sin(truncateToInt(q - s * 1232.0));
    int e = sineTable->sin(truncateToInt((x >> 4) - s * 580.0));
    int f = sineTable->sin(truncateToInt((x >> 3) + s * 563.0));
    int g = sineTable->sin(truncateToInt((y >> 3) + s * 490.0));
    int h = sineTable->sin((y >> 4) - 550);
    int scale = zoom + (d >> 3) + ((e + f + g + h) >> 4);
    int xs = (scale * x) >> 13, ys = (scale * y) >> 13;
    int sine = sineTable->sin(angle), cosine = sineTable->cos(angle);
    out[1] = (ys * sine + xs * cosine) >> 13;
    out[0] = (ys * cosine - xs * sine) >> 13;
}

void FeedbackMapLayer::render(Bitmap& target, double s) {
    GridMapLayer::render(target, s);
    Weights weights{static_cast<std::uint32_t>(keepWeight), static_cast<std::uint32_t>(pictureWeight),
                    static_cast<std::uint32_t>(mixWeight), static_cast<std::uint32_t>(screenWeight)};
    switch (simdLevel()) {
    case SimdLevel::avx2:
        if constexpr (avx2Built)
            return feedBackAvx2(texture + visibleStart, picture, target.pixels, weights.keep, weights.picture,
                                weights.mix, weights.screen);
        [[fallthrough]];
    case SimdLevel::sse2:
        return feedBackSse2(texture + visibleStart, picture, target.pixels, weights);
    case SimdLevel::plain:
        return feedBackPlain(texture + visibleStart, picture, target.pixels, weights);
    }
}
