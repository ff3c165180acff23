#include "effects/ScreenFadeLayer.h"

#include "core/FadeEase.h"

#include <algorithm>

void ScreenFadeLayer::setFadeDirection(int sign) {
    direction = fadeDirectionOf(sign);
}

void ScreenFadeLayer::stepFade(double& lastTime, double seconds) {
    advanceFade(position, lastTime, direction, rate, seconds);
    position = clampFade(position);
}

int ScreenFadeLayer::easedWeight() const {
    return std::clamp(fadeEase(*sineTable, position), 0, 255);
}
