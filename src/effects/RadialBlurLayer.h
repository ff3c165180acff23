#pragma once
// Radial blur: smears a 512 x 384 image outwards from a centre, in place. Each pixel becomes a
// bilinear sample taken `strength` of the way towards the centre plus `keep` times its own value.
// Offsets are 17.15 fixed point; the blend runs per byte in signed 16-bit lanes.

#include "core/Bitmap.h"
#include "core/Layer.h"

#include <cstdint>

struct RadialBlurSampling;

class RadialBlurLayer : public Layer {
  public:
    RadialBlurLayer();

    void setParameters(float strength, float keep);
    // The centre is kept in whole pixels (rounded down).
    void setCentre(float x, float y);

    // Blurs image.pixels, read as 512 x 384 whatever its width and height say; `seconds` is unused.
    void render(Bitmap& image, double seconds) override;
    void archiveState(StateArchive& archive) override;

    // The two forms of the pixel loop, bit for bit the same; render picks one by
    // the vector level in use.
    void blurPlain(std::uint32_t* pixels);
    void blurSse2(std::uint32_t* pixels);
    // The same pixels with the rows split over the band pool as a wavefront (the SSE2 or the
    // plain arithmetic, by `vector`); in order on the caller when the samples do not allow it.
    void blurBanded(std::uint32_t* pixels, bool vector);

  private:
    RadialBlurSampling prepare();

    std::int32_t stepX[512];
    std::int32_t stepY[384];
    float strength = 0.05f;
    float keep = 1.0f;
    float centreX = 256.0f;
    float centreY = 192.0f;
};
