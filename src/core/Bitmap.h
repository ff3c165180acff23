#pragma once
// A 32-bit picture in memory: the screen or a loaded picture. Pixels are 0x00RRGGBB, rows from the
// top, `width` pixels a row with no gap. A Bitmap never owns its pixels.

#include <cstdint>

struct Bitmap {
    std::int32_t width = -1;
    std::int32_t height = -1;
    std::uint32_t* pixels = nullptr;
    std::int32_t reserved = -1; // read by nothing
};
