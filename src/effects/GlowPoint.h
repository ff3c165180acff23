#pragma once
// The glowing dot shared by the point clouds: a point in cloud space (8192 = 1.0) is projected with
// perspective and added into a 32-bit picture as a 2 x 2 bilinear dot whose brightness falls with
// depth. Screen positions are 22.10 fixed point; rows are 512 pixels apart whatever the width.

#include "core/Bitmap.h"

#include <algorithm>
#include <cstdint>

// Additive blend with 7-bit saturation: each colour channel becomes min(254, light + pixel) with
// the lowest bit of every byte cleared, light being floor(colour * weight / 256) per channel, also
// with its lowest bit cleared. Dropping the low bits frees room for the carries that saturate.
// Because every channel only grows and stops at 254, the order of blends does not matter.
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

// Where a dot lands: its top-left pixel and the weights of its four pixels (top-left, top-right,
// bottom-left, bottom-right), 0 .. 95.
struct GlowDotPlacement {
    std::int32_t column;
    std::int32_t row;
    std::uint32_t weights[4];
};

// Projects (x, y, z) onto a picture of the given size. False (nothing to draw) when
// (z >> 4) + depth <= 0, or for a depth outside 1 .. 65536.
[[gnu::always_inline]] inline bool placeGlowDot(std::int32_t width, std::int32_t height, std::int32_t x,
                                                std::int32_t y, std::int32_t z, int focal, int depth,
                                                GlowDotPlacement& placement) {
    if (depth <= 0 || depth > 65536)
        return false;
    std::int32_t distance = (z >> 4) + depth;
    if (distance <= 0)
        return false;

    // 1024 = 1.0: from 1536 in front of the depth plane to 512 behind it.
    std::int32_t offset = z < 0 ? -depth : (z > 2 * depth ? depth : z - depth);
    std::int32_t brightness = ((2 * depth - offset) << 10) / (2 * depth);

    // The products wrap modulo 2^32, and so do the sums: far points may land anywhere.
    std::int32_t projectedX =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(x) * static_cast<std::uint32_t>(focal));
    std::int32_t projectedY =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(y) * static_cast<std::uint32_t>(focal));
    // -512 (half a pixel) centres the 2 x 2 dot on the point.
    std::uint32_t centreX = static_cast<std::uint32_t>(((width / 2) << 10) - 512);
    std::uint32_t centreY = static_cast<std::uint32_t>(((height / 2) << 10) - 512);
    std::int32_t screenX =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(projectedX / distance) + centreX);
    std::int32_t screenY =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(projectedY / distance) + centreY);

    placement.column = screenX >> 10;
    placement.row = screenY >> 10;
    std::int32_t fractionX = screenX & 1023;
    std::int32_t fractionY = screenY & 1023;

    // Bilinear area in 10.10 reduced to 8 bits (>> 12), then scaled by the brightness (>> 12 again).
    placement.weights[0] =
        static_cast<std::uint32_t>(((((1023 - fractionY) * (1023 - fractionX)) >> 12) * brightness) >> 12);
    placement.weights[1] =
        static_cast<std::uint32_t>(((((1023 - fractionY) * fractionX) >> 12) * brightness) >> 12);
    placement.weights[2] =
        static_cast<std::uint32_t>(((((1023 - fractionX) * fractionY) >> 12) * brightness) >> 12);
    placement.weights[3] = static_cast<std::uint32_t>((((fractionY * fractionX) >> 12) * brightness) >> 12);
    return true;
}

// True when all four pixels of the dot pass the border rule below and lie in a 512-wide picture.
inline bool glowDotInside(const Bitmap& target, const GlowDotPlacement& placement, int margin) {
    return target.width == 512 && placement.column >= margin && placement.column < 512 - margin &&
           placement.row >= margin && placement.row < target.height - margin;
}

// addGlowCorners' rule for a dot at or past the border, for its corners on rows
// [firstRow, endRow) only: a band of rows adds what lies in it.
inline void addGlowCornersAtBorder(Bitmap& target, const GlowDotPlacement& placement, std::uint32_t colour,
                                   int margin, std::int64_t firstRow, std::int64_t endRow) {
    std::int64_t pixelCount = std::int64_t{target.width} * target.height;
    for (int corner = 0; corner < 4; ++corner) {
        std::int64_t col = std::int64_t{placement.column} + (corner & 1);
        std::int64_t line = std::int64_t{placement.row} + (corner >> 1);
        if (line < firstRow || line >= endRow)
            continue;
        if (col < margin || col > target.width - margin || line < margin || line > target.height - margin)
            continue;
        std::int64_t index = line * 512 + col;
        if (index >= pixelCount)
            continue;
        std::uint32_t& pixel = target.pixels[index];
        pixel = addGlow(pixel, colour, placement.weights[corner]);
    }
}

// Adds the placed dot of `colour`. A pixel (col, row) is written only if
// margin <= col <= width - margin and margin <= row <= height - margin (and it lies inside the
// picture's memory); rows are 512 pixels apart.
inline void addGlowCorners(Bitmap& target, const GlowDotPlacement& placement, std::uint32_t colour,
                           int margin) {
    if (glowDotInside(target, placement, margin)) {
        std::uint32_t* pixel = target.pixels + placement.row * 512 + placement.column;
        pixel[0] = addGlow(pixel[0], colour, placement.weights[0]);
        pixel[1] = addGlow(pixel[1], colour, placement.weights[1]);
        pixel[512] = addGlow(pixel[512], colour, placement.weights[2]);
        pixel[513] = addGlow(pixel[513], colour, placement.weights[3]);
        return;
    }
    addGlowCornersAtBorder(target, placement, colour, margin, INT64_MIN, INT64_MAX);
}

// Projects (x, y, z) and adds the 2 x 2 dot of `colour` into `target` with the border rule of
// addGlowCorners.
[[gnu::always_inline]] inline void addGlowDot(Bitmap& target, std::int32_t x, std::int32_t y, std::int32_t z,
                                              std::uint32_t colour, int focal, int depth, int margin) {
    GlowDotPlacement placement;
    if (placeGlowDot(target.width, target.height, x, y, z, focal, depth, placement))
        addGlowCorners(target, placement, colour, margin);
}

struct GlowPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t z = 0;
    std::uint32_t colour = 0xFFFFFF;

    // Adds the dot; column 0 and row 0 are never written.
    void draw(Bitmap& target, int focal, int depth) const;
};
