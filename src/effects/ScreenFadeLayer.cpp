#include "effects/ScreenFadeLayer.h"

#include <algorithm>

void ScreenFadeLayer::stepFade(double& lastTime, double seconds) {
    if (lastTime == -1.0)
        lastTime = seconds;
    double dt = seconds - lastTime;
    lastTime = seconds;
    position = direction * rate * dt + position;
    if (position < 0.0)
        position = 0.0;
    if (position > 1.0)
        position = 1.0;
}

int ScreenFadeLayer::easedWeight() const {
    int angle = static_cast<int>(position * 4096.0);
    int weight = (8192 - sineTable->cos(angle)) >> 6;
    return std::clamp(weight, 0, 255);
}
