#pragma once
// The loading screen: the first picture with a ring of spokes, one per hundredth of progress.
// Each spoke is one bright anti-aliased line plus 128 faint copies that wander in a random walk
// around it, all added onto the picture with per-channel saturation. Line ends are 22.10 fixed
// point (pixel = x >> 10); coverage weights are 0 .. 255. Writes only the target.

#include "core/Layer.h"

class LoadingGaugeLayer : public Layer {
public:
    // `picture` must be 512 x 384 (a ptc::DynamicError names the sizes otherwise).
    explicit LoadingGaugeLayer(Bitmap& picture);

    // `progress` (0.0 .. 1.0) takes the place of the time: the picture, then every spoke below it.
    void render(Bitmap& target, double progress) override;
    void archiveState(StateArchive& archive) override;

    // Adds `colour` along the line with Wu's coverage weights. Column 0 and row 0 are never
    // drawn; a line whose ends coincide draws nothing.
    static void drawLine(Bitmap& target, int x0, int y0, int x1, int y1, std::uint32_t colour);

private:
    Bitmap* picture;
};
