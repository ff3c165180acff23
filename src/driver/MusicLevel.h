#pragma once
// The music level of a frame: the player's level word holds the left peak in its low 16 bits and
// the right peak in its high 16 bits; the show uses their sum.

#include <cstdint>

inline std::int32_t levelSum(std::uint32_t level) {
    return static_cast<std::int32_t>((level & 0xFFFF) + (level >> 16));
}
