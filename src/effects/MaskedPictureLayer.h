#pragma once
// A picture laid over the screen through a grey-level opacity mask (255 opaque, 0 transparent).
// The fade position scales the mask: 0.0 draws nothing, 1.0 uses the mask at full strength.
// Reads a 512 x 384 picture and mask (same pixel index), blends into the target's 196,608 pixels.

#include "core/Bitmap.h"
#include "core/ByteMap.h"
#include "core/Layer.h"

class MaskedPictureLayer : public Layer {
  public:
    // Throws ptc::DynamicError unless `picture` is 512 x 384 (or taller); `mask` must hold
    // 196,608 bytes.
    MaskedPictureLayer(Bitmap& picture, ByteMap* mask);

    void setFadeTime(double seconds);
    void setFadeDirection(int sign);
    void setFadePosition(double newPosition);

    void render(Bitmap& target, double seconds) override;
    void archiveState(StateArchive& archive) override;

    std::uint32_t* picture;
    ByteMap* mask;
    double position = 0.0;
    double rate = 0.0;
    double direction = 1.0;
    double lastTime = -1.0;
};
