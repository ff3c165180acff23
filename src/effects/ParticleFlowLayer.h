#pragma once
// A swarm of glowing 7 x 7 sprites that climbs the slopes of a height map, jitters with the music
// and tints itself with the screen below. Positions are 8.8 fixed point (column = x >> 8) and stay
// within columns 3..508 and rows 3..380, so a sprite never leaves the 512 x 384 screen. The sprites
// are added into a glow image in workBufferA that loses a quarter every frame and is added onto
// the target. Height maps are 512 x 384 bytes; the sprite is read as rows of 8 bytes.

#include "core/Bitmap.h"
#include "core/ByteMap.h"
#include "core/Layer.h"

#include <cstdint>
#include <vector>

struct FlowParticle {
    std::int32_t x;
    std::int32_t y;
};

// Where a particle's sprite goes this frame: its top-left pixel, and its colour.
struct FlowStamp {
    std::int32_t top, left;
    std::uint32_t colour;
};

// The swarm's own random generator, apart from nextRandom; its state is process-wide.
constexpr std::uint32_t initialFlowRandomState = 1230949;
extern std::uint32_t flowRandomState;

// ((state & 0xFFFF) * n) / 65535 after advancing the state: 0 .. n - 1, and n itself when the low
// half of the state is 0xFFFF.
int flowRandom(int n);

class ParticleFlowLayer : public Layer {
  public:
    // Spawns `count` particles (drawing from nextRandom) and clears the glow image. flow2 and flow3
    // may be null. Throws ptc::DynamicError for a negative count.
    ParticleFlowLayer(int count, ByteMap* flow0, ByteMap* flow1, ByteMap* flow2, ByteMap* flow3,
                      ByteMap* sprite);

    // From the next frame on the drawn particles shrink by an eighth a frame.
    void fadeOut();
    // Steers the particles by the second height map (once; further calls change nothing).
    void nextFlowMap();

    void render(Bitmap& target, double seconds) override;
    void archiveState(StateArchive& archive) override;

    std::int32_t count;
    std::int32_t growing = 1;
    std::vector<FlowParticle> particles;
    ByteMap* flowMaps[4];
    std::uint32_t* glow;
    std::int32_t flowIndex = 0;
    std::int32_t activeCount = 0;
    ByteMap* sprite;

  private:
    void moveAndStamp(const std::uint32_t* screen, int level);
    // moveAndStamp and the combine, split over the band pool.
    void moveStampAndCombineInBands(std::uint32_t* screen, int level);

    // Scratch of the banded frame, kept to spare an allocation a frame: the jitter draws, two per
    // moving particle, and the stamps.
    std::vector<std::uint8_t> jitterDraws;
    std::vector<FlowStamp> stamps;
};
