#pragma once
// A grid mapper whose texture is its own 512 x 512 feedback buffer: each frame it draws the buffer
// through a wobbling zoom and turn, then writes back per channel a blend of the old buffer, one of
// four 512 x 384 pictures and the frame just drawn. Screen row r is buffer row r + 64, so buffer
// rows 0..63 and 448..511 stay black. Weights are 0..255; zoom is 8192 = 1.0.

#include "effects/GridMapLayer.h"

#include <cstdint>
#include <vector>

class FeedbackMapLayer : public GridMapLayer {
  public:
    // Creates the empty file "demo.debug" in the working directory (a failure is ignored). Throws
    // ptc::DynamicError unless every picture is 512 x 384 (or taller).
    FeedbackMapLayer(Bitmap& p0, Bitmap& p1, Bitmap& p2, Bitmap& p3);

    // The next picture (after the fourth, the first) is mixed in from the next frame on.
    void nextPicture();

    void render(Bitmap& target, double seconds) override;
    void archiveState(StateArchive& archive) override;
    void mapPoint(std::int32_t out[2], int x, int y, double seconds) override;
    void beginFrame(double seconds) override;
    // samplePixel is the base's bilinear fetch, reading the feedback buffer through `texture`.

    std::uint32_t* picture = nullptr;
    std::uint32_t* pictures[4];
    std::int32_t pictureIndex = 0;
    std::int32_t keepWeight = 0;    // old buffer against the picture
    std::int32_t pictureWeight = 0; // 255 - keepWeight
    std::int32_t mixWeight = 0;     // that mix against the drawn frame
    std::int32_t screenWeight = 0;  // 255 - mixWeight
    std::int32_t angle = 0;
    std::int32_t zoom = 8192;

  private:
    std::vector<std::uint32_t> feedback; // 512 x 512, the texture
};
