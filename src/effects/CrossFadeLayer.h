#pragma once
// Cross-fade between two 512 x 384 pictures: position 0.0 shows `from`, 1.0 shows `to` (both as
// plain copies), and in between every byte (top byte included) is (from * g + to * f) >> 8 with
// f the eased position 0..255 and g = 255 - f. Either picture may be the screen itself.

#include "core/Bitmap.h"
#include "core/Layer.h"

#include <cstdint>

class CrossFadeLayer : public Layer {
  public:
    // Throws ptc::DynamicError unless both pictures are 512 x 384 (or taller).
    CrossFadeLayer(Bitmap& from, Bitmap& to);

    void setFadeTime(double seconds);
    void setFadeDirection(int sign);
    void setFadePosition(double newPosition);

    void render(Bitmap& target, double seconds) override;
    void archiveState(StateArchive& archive) override;

    std::uint32_t* from;
    std::uint32_t* to;
    double position = 0.0;
    double rate = 0.0;
    double direction = 1.0;
    double lastTime = -1.0;
};
