#include "effects/FadeToWhiteLayer.h"

#include "core/ScreenSize.h"
#include "effects/ScreenFadePixels.h"

#include <algorithm>

void FadeToWhiteLayer::render(Bitmap& target, double seconds) {
    stepFade(lastTime, seconds);
    if (position == 1.0) {
        std::fill_n(target.pixels, screenPixels, 0xFFFFFFFFu);
        return;
    }
    if (position > 0.0)
        whitenPixels(target.pixels, screenPixels, easedWeight());
}
