#pragma once
// Warp transition: photographs the screen on its first frame (and retires the terrain flight and
// the masked picture from the layer list), then redraws every frame a wavy, zooming copy of its own
// last output, blended a little further towards its picture each frame. Sample positions are 8.8
// fixed point in the 512 x 512 feedback image (workBufferB); the distorted copy goes to
// workBufferA.

#include "core/BandBalance.h"
#include "core/Bitmap.h"
#include "core/Layer.h"
#include "core/ScreenSize.h"

#include <cstdint>
#include <vector>

class WarpLayer : public Layer {
  public:
    // `picture` is read as 512 x 512, of which rows 64 .. 447 are used (checked).
    explicit WarpLayer(Bitmap& picture);

    void render(Bitmap& target, double seconds) override;
    void archiveState(StateArchive& archive) override;

    // The layers the first frame takes out of the layer list: the show names the terrain flight
    // and the masked picture, which drew the screen that frame photographs.
    void retireOnFirstFrame(Layer* first, Layer* second) {
        retired[0] = first;
        retired[1] = second;
    }

  protected:
    struct Sample {
        std::int32_t x, y;
    };

    void photograph(const std::uint32_t* screen);
    void buildTables(double t);
    // Screen rows [firstRow, endRow) of each pass. Every row of the distorted copy reads only the
    // feedback image, and every blended pixel only its own place, so the rows may be split over the
    // band pool; the whole distortion is done before the blend replaces the feedback image.
    void distortPlain(int firstRow, int endRow);
    void distortSse2(int firstRow, int endRow);
    void blendPlain(std::uint32_t* target, std::uint32_t weight, int firstRow = 0, int endRow = screenHeight);
    void blendSse2(std::uint32_t* target, std::uint32_t weight, int firstRow = 0, int endRow = screenHeight);

    bool firstFrame = true;
    Layer* retired[2] = {nullptr, nullptr};
    std::int32_t blend = 0;
    std::uint32_t* feedback;
    std::uint32_t* picture;
    std::uint32_t* warped;
    std::vector<Sample> columnTable;
    std::vector<Sample> rowTable;
    // The rows each thread distorts and blends, moved to balance the threads; not the layer's state.
    BandBalance distortBands, blendBands;
};
