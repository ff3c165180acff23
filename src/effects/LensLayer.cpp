// The lens layer: centre, size and texture drift in double precision per frame, handed to the
// single-precision Lens; the work image (workBufferA, 512 x 384) starts black with top bytes set,
// receives the ray texture inside the disc, is radially blurred and added onto the target.

#include "effects/LensLayer.h"

#include "core/Random.h"
#include "core/ScreenSize.h"
#include "core/ShowObjects.h"
#include "effects/PictureSize.h"

#include <algorithm>
#include <cmath>
#include <emmintrin.h>

LensLayer::LensLayer(Bitmap& rays, Bitmap& lensPicture, Bitmap& backdropPicture) {
    requirePictureSize(rays, 512, 512);
    requirePictureSize(lensPicture, 512, 512);
    rayTexture = rays.pixels;
    lensTexture = lensPicture.pixels;
    backdrop = backdropPicture.pixels;
    work.pixels = workBufferA;
}

void LensLayer::shuffleSpeeds() {
    for (double& speed : speeds)
        speed = nextRandom(64000) * 0.00003125 - 1.0;
}

namespace {

// A row of the work image is black with its top byte set, with the disc's ray texture drawn in;
// once blurred, it is added onto the screen. Each row is built, blurred and added on one band.
class LensRays final : public RadialBlurRows {
  public:
    LensRays(const Lens& lens, Bitmap& target, Bitmap& work) : lens(lens), target(target), work(work) {
        lens.plan(disc);
    }

    void build(int y) override {
        std::uint32_t* row = work.pixels + y * screenWidth;
        std::fill(row, row + screenWidth, 0xFF000000u);
        lens.drawRow(disc, y, target, work);
    }

    void use(int y) override {
        LensLayer::addSaturated(target.pixels + y * screenWidth, work.pixels + y * screenWidth, screenWidth);
    }

  private:
    const Lens& lens;
    Bitmap& target;
    Bitmap& work;
    Lens::Rows disc;
};

} // namespace

void LensLayer::render(Bitmap& target, double seconds) {
    const double t = seconds;
    double centreX = (std::sin(t * 0.3476 + 4) + std::cos(t * 0.423 + 3)) * 100 + 256;
    double centreY = (std::sin(t * 0.31 + 2) + std::cos(t * 0.44 + 5)) * 90 + 192;
    // The texture drift uses the phases before this frame's advance.
    double offsetX = (std::sin(phases[1]) + std::sin(phases[0])) * 58;
    double offsetY = (std::sin(phases[3]) + std::sin(phases[2])) * 47;
    double turn = std::sin(phases[5]) + std::sin(phases[4]) + 3.1415;

    if (lastTime == -1.0)
        lastTime = t;
    double dt = t - lastTime;
    lastTime = t;
    for (int k = 0; k < 6; ++k)
        phases[k] += dt * speeds[k];

    lens.setRadius(static_cast<float>(std::sin(t * 0.1) * 64 + 80));
    lens.setOffset(static_cast<float>(offsetX), static_cast<float>(offsetY), static_cast<float>(turn));
    lens.setCentre(static_cast<float>(centreX), static_cast<float>(centreY));
    lens.setTextures(lensTexture, rayTexture);
    blur.setCentre(static_cast<float>(centreX), static_cast<float>(centreY));
    blur.setParameters(0.02f, 0.25f);
    LensRays rays(lens, target, work);
    blur.renderRows(work, rays);
}

void LensLayer::addSaturated(std::uint32_t* target, const std::uint32_t* source, int count) {
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(target + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i), _mm_adds_epu8(a, b));
    }
    for (; i < count; ++i) {
        std::uint32_t sum = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            std::uint32_t byteSum = ((target[i] >> shift) & 0xFF) + ((source[i] >> shift) & 0xFF);
            sum |= (byteSum > 255 ? 255u : byteSum) << shift;
        }
        target[i] = sum;
    }
}
