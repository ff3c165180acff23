#include "effects/FadeToBlackLayer.h"

#include "core/ScreenSize.h"
#include "effects/ScreenFadePixels.h"

#include <cstring>

void FadeToBlackLayer::render(Bitmap& target, double seconds) {
    stepFade(lastTime, seconds);
    if (position == 0.0) {
        std::memset(target.pixels, 0, screenPixels * sizeof(std::uint32_t));
        return;
    }
    darkenPixels(target.pixels, screenPixels, easedWeight());
}
