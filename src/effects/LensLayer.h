#pragma once
// A wandering glass lens: the lens texture seen through the disc over the lower layers, and the
// ray texture seen through the same disc, blurred outwards from its centre into light rays and
// added onto the screen. The rays are drawn in workBufferA.

#include "core/Bitmap.h"
#include "core/Layer.h"
#include "effects/Lens.h"
#include "effects/RadialBlurLayer.h"

#include <cstdint>

class LensLayer : public Layer {
  public:
    // `rays` and `lensPicture` are read as 512 x 512 (checked); `backdrop` is kept, not drawn.
    LensLayer(Bitmap& rays, Bitmap& lensPicture, Bitmap& backdrop);

    // New random drift speeds (six draws), -1.0 .. 0.99997 radians per second; the phases stay.
    void shuffleSpeeds();

    void render(Bitmap& target, double seconds) override;
    void archiveState(StateArchive& archive) override;

    // Per byte, all four bytes: target = min(255, target + source), over `count` pixels.
    static void addSaturated(std::uint32_t* target, const std::uint32_t* source, int count);

  protected:
    Lens lens;
    std::uint32_t* rayTexture;
    std::uint32_t* lensTexture;
    std::uint32_t* backdrop;
    Bitmap work;
    RadialBlurLayer blur;
    double lastTime = -1.0;
    double speeds[6] = {0.16, 0.54, 0.26, 0.65, 0.46, 0.15};
    double phases[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
};
