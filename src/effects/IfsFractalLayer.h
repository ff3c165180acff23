#pragma once
// A glowing 3D point cloud: the chaos game over four affine maps whose 48 coefficients drift along
// cosines of the layer time (2.3 units per second). The cloud is turned, projected and added onto
// the target as GlowPoint dots (cloud space 8192 = 1.0). Colours come from the first 256 pixels of
// a palette picture. The random sequence restarts at randomState 0 every frame.

#include "core/Layer.h"

#include <array>
#include <cstdint>

class IfsFractalLayer : public Layer {
  public:
    // ptc::DynamicError if the palette picture holds fewer than 256 pixels.
    IfsFractalLayer(int pointCount, Bitmap& palette);

    // Starts a change to the palette 157 entries on, over the next 1/2.3 seconds.
    void shiftPalette();

    void render(Bitmap& target, double seconds) override;

    // The 256 colours of a frame: the old and the new palette mixed by the eased blend weight.
    std::array<std::uint32_t, 256> blendedPalette() const;

    double timeOffset = 104653889.0;
    std::int32_t paletteOffset = 0;
    double paletteBlend = 0.0;
    std::int32_t oldPaletteOffset = 0;
    std::int32_t pointCount;
    const std::uint32_t* palettePixels;
    double lastTime = -1.0;
    double spread = 0.9;
};
