#include "effects/FadeToBlackLayer.h"

#include "effects/ScreenFadePixels.h"

#include <cstring>

namespace {

// The fades always cover the 512 x 384 screen; the target's width and height are not read.
constexpr std::size_t screenPixels = 0x30000;

} // namespace

void FadeToBlackLayer::render(Bitmap& target, double seconds) {
    stepFade(lastTime, seconds);
    if (position == 0.0) {
        std::memset(target.pixels, 0, screenPixels * sizeof(std::uint32_t));
        return;
    }
    darkenPixels(target.pixels, screenPixels, easedWeight());
}
