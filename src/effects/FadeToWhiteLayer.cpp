#include "effects/FadeToWhiteLayer.h"

#include "effects/ScreenFadePixels.h"

#include <algorithm>

namespace {

// The fades always cover the 512 x 384 screen; the target's width and height are not read.
constexpr std::size_t screenPixels = 0x30000;

} // namespace

void FadeToWhiteLayer::render(Bitmap& target, double seconds) {
    stepFade(lastTime, seconds);
    if (position == 1.0) {
        std::fill_n(target.pixels, screenPixels, 0xFFFFFFFFu);
        return;
    }
    if (position > 0.0)
        whitenPixels(target.pixels, screenPixels, easedWeight());
}
