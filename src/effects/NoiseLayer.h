#pragma once
// Grey television static mixed into everything drawn below: the eased fade position (capped by
// fadeLimit) says how much, and at 1.0 the screen is pure static. One static value is drawn per
// pixel, in memory order, from a generator whose state carries over between frames. Works on all
// four bytes of the target's 196,608 pixels.

#include "effects/ScreenFadeLayer.h"
#include "effects/StaticAhead.h"

#include <cstdint>

class NoiseLayer : public ScreenFadeLayer {
  public:
    NoiseLayer();

    // The ceiling of the position from the next frame on; callers pass 0.0 .. 1.0.
    void setFadeLimit(double limit);

    void render(Bitmap& target, double seconds) override;
    void archiveState(StateArchive& archive) override;

    // Where the static of the coming frames is rendered ahead (nullptr: nowhere, each frame makes
    // its own). It must outlive its use here. The picture is the same either way.
    void renderAheadWith(StaticAhead* ahead);

    std::uint32_t noiseState = 13985765;
    double fadeLimit = 1.0;
    double lastTime = -1.0;

  private:
    StaticAhead* ahead = nullptr;
};
