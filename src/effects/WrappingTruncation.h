#pragma once
// Float-to-integer conversion for values that may leave the int32 range (diverging points, clocks
// far above 2^31 once multiplied): truncate toward zero to 64 bits and keep the low 32 bits.

#include <cstdint>

// (int32) of the low 32 bits of trunc(value), so 2^32 + 5 gives 5 and -1.5 gives -1. NaN, the
// infinities and values beyond the int64 range give 0: the processor's 64-bit conversion turns them
// all into 0x8000000000000000, whose low 32 bits are 0.
inline std::int32_t truncateToLow32(double value) {
    constexpr double int64Limit = 9223372036854775808.0; // 2^63
    if (!(value > -int64Limit && value < int64Limit))    // false for NaN too
        return 0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int64_t>(value)));
}
