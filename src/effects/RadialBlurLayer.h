#pragma once
// Radial blur: smears a 512 x 384 image outwards from a centre, in place. Each pixel becomes a
// bilinear sample taken `strength` of the way towards the centre plus `keep` times its own value.
// Offsets are 17.15 fixed point; the blend runs per byte in signed 16-bit lanes.

#include "core/Bitmap.h"
#include "core/Layer.h"

#include <cstdint>

struct RadialBlurSampling;

// The steps of a caller that draws the image to be blurred row by row and uses each row once it is
// blurred (the lens layer: its disc drawn into a black row, the blurred row added onto the screen).
class RadialBlurRows {
  public:
    // Draws row y, which the blur has not read yet.
    virtual void build(int y) = 0;
    // Row y is blurred and changes no more; the blur may still read it.
    virtual void use(int y) = 0;

  protected:
    ~RadialBlurRows() = default;
};

class RadialBlurLayer : public Layer {
  public:
    RadialBlurLayer();

    void setParameters(float strength, float keep);
    // The centre is kept in whole pixels (rounded down).
    void setCentre(float x, float y);

    // Blurs image.pixels, read as 512 x 384 whatever its width and height say; `seconds` is unused.
    void render(Bitmap& image, double seconds) override;
    void archiveState(StateArchive& archive) override;
    // The same blur between the steps of `rows`: every row is built before the blur reads it and
    // used once it is final. Split over the band pool, each row is built, blurred and used by one
    // band, so that it stays in one core's cache; with one band, all rows are built, then blurred,
    // then used.
    void renderRows(Bitmap& image, RadialBlurRows& rows);

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
