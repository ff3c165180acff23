#pragma once
// A picture reduced to one byte per pixel (the blue channel), row after row, with no dimensions of
// its own: masks and flow maps are 512 x 384, height maps 512 x 512. Pass it as `ByteMap*`.

#include <cstdint>

using ByteMap = std::uint8_t;
