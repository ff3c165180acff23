#pragma once
// One spark of the particle systems: a position and a per-frame velocity in cloud space
// (8192 = 1.0), a colour and the frames it has left. It is drawn with the glowing dot, kept two
// pixels away from the picture's border.

#include "core/Bitmap.h"

#include <cstdint>

struct SparkParticle {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t z = 0;
    std::int32_t vx = 0;
    std::int32_t vy = 0;
    std::int32_t vz = 0;
    std::int32_t life = 0;
    std::uint32_t colour = 0xFFFFFF;

    SparkParticle() = default;
    SparkParticle(std::int32_t x, std::int32_t y, std::int32_t z, std::int32_t vx, std::int32_t vy,
                  std::int32_t vz, std::uint32_t colour, std::int32_t life);

    // One frame of flight. Positions wrap rather than overflow.
    void step();

    // Adds the dot; pixels (col, row) outside 2 <= col <= width - 2, 2 <= row <= height - 2 are
    // not written.
    void draw(Bitmap& target, int focal, int depth) const;
};
