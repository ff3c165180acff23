#include "effects/GlowPoint.h"

#include <algorithm>

void addGlowDot(Bitmap& target, std::int32_t x, std::int32_t y, std::int32_t z, std::uint32_t colour,
                int focal, int depth, int margin) {
    if (depth <= 0 || depth > (1 << 20))
        return;
    std::int32_t distance = (z >> 4) + depth;
    if (distance <= 0)
        return;

    // 1024 = 1.0: from 1536 in front of the depth plane to 512 behind it.
    std::int64_t offset = std::clamp<std::int64_t>(std::int64_t{z} - depth, -depth, depth);
    std::int32_t brightness = static_cast<std::int32_t>(((2 * depth - offset) << 10) / (2 * depth));

    // The products wrap modulo 2^32, and so does the sum: far points may land anywhere.
    std::int32_t projectedX =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(x) * static_cast<std::uint32_t>(focal));
    std::int32_t projectedY =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(y) * static_cast<std::uint32_t>(focal));
    // -512 (half a pixel) centres the 2 x 2 dot on the point.
    std::uint32_t centreX = static_cast<std::uint32_t>(((target.width / 2) << 10) - 512);
    std::uint32_t centreY = static_cast<std::uint32_t>(((target.height / 2) << 10) - 512);
    std::int32_t screenX =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(projectedX / distance) + centreX);
    std::int32_t screenY =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(projectedY / distance) + centreY);

    std::int32_t column = screenX >> 10;
    std::int32_t row = screenY >> 10;
    std::int32_t fractionX = screenX & 1023;
    std::int32_t fractionY = screenY & 1023;

    // Bilinear area in 10.10 reduced to 8 bits (>> 12), then scaled by the brightness (>> 12 again).
    std::uint32_t weights[4] = {
        static_cast<std::uint32_t>(((((1023 - fractionY) * (1023 - fractionX)) >> 12) * brightness) >> 12),
        static_cast<std::uint32_t>(((((1023 - fractionY) * fractionX) >> 12) * brightness) >> 12),
        static_cast<std::uint32_t>(((((1023 - fractionX) * fractionY) >> 12) * brightness) >> 12),
        static_cast<std::uint32_t>((((fractionY * fractionX) >> 12) * brightness) >> 12),
    };

    std::int64_t pixelCount = std::int64_t{target.width} * target.height;
    for (int corner = 0; corner < 4; ++corner) {
        std::int64_t col = std::int64_t{column} + (corner & 1);
        std::int64_t line = std::int64_t{row} + (corner >> 1);
        if (col < margin || col > target.width - margin || line < margin || line > target.height - margin)
            continue;
        std::int64_t index = line * 512 + col;
        if (index >= pixelCount)
            continue;
        std::uint32_t& pixel = target.pixels[index];
        pixel = addGlow(pixel, colour, weights[corner]);
    }
}
