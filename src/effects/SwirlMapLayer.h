#pragma once
// A slowly turning lens view of a 512 x 512 picture: the texture shrinks towards the screen edges,
// a radial ripple can be kicked by pulse() and decays every frame, and a plasma-like twist grows
// with the time since startTwist(). Angles are sine-table steps; scale factors are 8192 = 1.0.

#include "effects/GridMapLayer.h"

class SwirlMapLayer : public GridMapLayer {
  public:
    // Throws ptc::DynamicError unless `texture` is 512 x 512 (or taller).
    explicit SwirlMapLayer(Bitmap& texture);

    void mapPoint(std::int32_t out[2], int x, int y, double seconds) override;
    void beginFrame(double seconds) override;
    void archiveState(StateArchive& archive) override;

    // Kicks the ripple to its full amplitude.
    void pulse();
    // The next drawn frame starts the twist.
    void startTwist();
    // No ripple and no twist.
    void reset();

    std::int32_t amplitude = 0;
    bool armed = false;
    double twistStart = 0.0; // 0.0: not started
    double twist = 0.0;
};
