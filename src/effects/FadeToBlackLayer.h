#pragma once
// Scales everything drawn below towards black: position 0 is black, 1 the picture as it is
// (every byte times 255 / 256). Post-processes all 512 x 384 pixels of the target in place.

#include "effects/ScreenFadeLayer.h"

class FadeToBlackLayer : public ScreenFadeLayer {
public:
    void render(Bitmap& target, double seconds) override;
    void archiveState(StateArchive& archive) override;

private:
    double lastTime = -1.0;
};
