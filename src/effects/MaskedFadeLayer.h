#pragma once
// A picture laid over the screen through a per-pixel opacity mask, morphing from a first
// picture-and-mask pair to a second one: colours and opacities cross-fade along the eased
// position. Pictures and masks are 512 x 384 with one pixel index; either picture may be the
// screen. Written pixels have top byte 0.

#include "core/Bitmap.h"
#include "core/ByteMap.h"
#include "core/Layer.h"

#include <cstdint>

class MaskedFadeLayer : public Layer {
  public:
    // Throws ptc::DynamicError unless both pictures are 512 x 384 (or taller); each mask must
    // hold 196,608 bytes. The two masks may be the same.
    MaskedFadeLayer(Bitmap& from, Bitmap& to, ByteMap* fromMask, ByteMap* toMask);

    // Starts (or re-times) the fade towards the second pair.
    void setFadeTime(double seconds);

    void render(Bitmap& target, double seconds) override;
    void archiveState(StateArchive& archive) override;

    std::uint32_t* from;
    std::uint32_t* to;
    ByteMap* fromMask;
    ByteMap* toMask;
    double position = 0.0;
    double rate = 0.0;
    double direction = 1.0; // nothing changes it
    double lastTime = -1.0;
};
