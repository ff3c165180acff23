#pragma once
// Sparks fired from two emitters wandering along sums of sines (orange from A, blue from B), turned
// about three axes and drawn with soft trails. Positions are in cloud space (8192 = 1.0); the
// sparks are drawn into the accumulation image (workBufferA, 512 x 384), which is added onto the
// target and then blurred in place.

#include "core/Layer.h"
#include "effects/SparkParticle.h"
#include "effects/SparkTrails.h"

#include <cstdint>
#include <vector>

class ParticleStreamsLayer : public Layer {
  public:
    // Takes workBufferA as its accumulation image (ptc::DynamicError if it is not allocated yet).
    explicit ParticleStreamsLayer(int count);

    void render(Bitmap& target, double seconds) override;
    void archiveState(StateArchive& archive) override;

    std::int32_t count;
    std::vector<SparkParticle> particles;
    std::uint32_t* accumulation;
    bool clearPending = true;
    std::int32_t angleX = 0;
    std::int32_t angleY = 0;
    std::int32_t angleZ = 0;

  private:
    SparkParticle fireFromEmitterA(int emitterTime) const;
    SparkParticle fireFromEmitterB(int emitterTime) const;

    // This frame's particles whose life ran out: scratch, not part of the state.
    std::vector<int> spent;
    SparkBands bands;
};
