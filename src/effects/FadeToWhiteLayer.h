#pragma once
// Pushes everything drawn below towards white: position 0 leaves the picture untouched, 1 is
// white (all four bytes 255). Post-processes all 512 x 384 pixels of the target in place.

#include "effects/ScreenFadeLayer.h"

class FadeToWhiteLayer : public ScreenFadeLayer {
public:
    void render(Bitmap& target, double seconds) override;
    void archiveState(StateArchive& archive) override;

private:
    double lastTime = -1.0;
};
