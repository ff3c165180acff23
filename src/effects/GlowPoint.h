#pragma once
// The glowing dot shared by the point clouds: a point in cloud space (8192 = 1.0) is projected with
// perspective and added into a 32-bit picture as a 2 x 2 bilinear dot whose brightness falls with
// depth. Screen positions are 22.10 fixed point; rows are 512 pixels apart whatever the width.

#include "core/Bitmap.h"

#include <cstdint>

// Additive blend with 7-bit saturation: each colour channel becomes min(254, light + pixel) with
// the lowest bit of every byte cleared, light being floor(colour * weight / 256) per channel, also
// with its lowest bit cleared. Dropping the low bits frees room for the carries that saturate.
inline std::uint32_t addGlow(std::uint32_t pixel, std::uint32_t colour, std::uint32_t weight) {
    std::uint32_t light =
        ((((colour & 0x00FF00FF) * weight) & 0xFE00FE00) | (((colour & 0x0000FF00) * weight) & 0x00FE0000)) >>
        8;
    std::uint32_t sum = light + (pixel & 0xFEFEFEFE);
    // A channel that passed 255 carried into the (cleared) lowest bit of the byte above it;
    // carry - (carry >> 7) turns each such bit into 0xFE over the byte below.
    std::uint32_t carry = sum & 0x01010100;
    return (sum | (carry - (carry >> 7))) & 0xFEFEFEFE;
}

// Projects (x, y, z) and adds the 2 x 2 dot of `colour` into `target`. A pixel (col, row) is written
// only if margin <= col <= width - margin and margin <= row <= height - margin (and it lies inside
// the picture's memory). Nothing is drawn when (z >> 4) + depth <= 0 or depth <= 0.
void addGlowDot(Bitmap& target, std::int32_t x, std::int32_t y, std::int32_t z, std::uint32_t colour,
                int focal, int depth, int margin);

struct GlowPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t z = 0;
    std::uint32_t colour = 0xFFFFFF;

    // Adds the dot; column 0 and row 0 are never written.
    void draw(Bitmap& target, int focal, int depth) const {
        addGlowDot(target, x, y, z, colour, focal, depth, 1);
    }
};
