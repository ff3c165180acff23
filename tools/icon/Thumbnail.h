#pragma once
// A square thumbnail of a frame: the centred square of the picture, resampled to size x size by
// area averaging, so every source pixel counts by exactly the part of it each thumbnail pixel
// covers.

#include <cstdint>
#include <vector>

namespace icon {

// `pixels` are width x height 0x00RRGGBB values, rows packed. Returns size x size pixels of the
// same form; each channel is the covered area's mean, rounded to nearest.
std::vector<std::uint32_t> squareThumbnail(const std::uint32_t* pixels, int width, int height, int size);

} // namespace icon
