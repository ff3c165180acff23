#pragma once
// Sparks fired alternately from two emitters running round a pulsing ring (blue and green sparks);
// the emitters' clock moves by half the frame time per spark fired. Cloud space is 8192 = 1.0; the
// sparks are drawn into the accumulation image (workBufferA, 512 x 384), which is added onto the
// target and then blurred in place.

#include "core/Layer.h"
#include "effects/SparkParticle.h"
#include "effects/SparkTrails.h"

#include <cstdint>
#include <vector>

class ParticleRingLayer : public Layer {
  public:
    // Takes workBufferA as its accumulation image (ptc::DynamicError if it is not allocated yet).
    explicit ParticleRingLayer(int count);

    void render(Bitmap& target, double seconds) override;
    void archiveState(StateArchive& archive) override;

    std::int32_t count;
    std::vector<SparkParticle> particles;
    std::uint32_t* accumulation;
    double emitterTime = 121038543.0;
    bool clearPending = true;
    double lastTime = -1.0;
    double frameTime = 0.0;
    std::int32_t angleX = 0;
    std::int32_t angleY = 0;
    std::int32_t angleZ = 0;
    // -1: the next spark comes from emitter A, +1: from emitter B.
    std::int32_t nextEmitter = -1;

  private:
    SparkParticle fireFromEmitterA() const;
    SparkParticle fireFromEmitterB() const;

    // This frame's particles whose life ran out: scratch, not part of the state.
    std::vector<int> spent;
    SparkBands bands;
};
