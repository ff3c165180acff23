#pragma once
// Conversion of a floating-point value to int32 that truncates toward zero like a C cast, but is
// defined everywhere: values past the int32 range saturate and NaN gives 0.

#include <cstdint>

inline std::int32_t truncateToInt(double value) {
    if (value >= 2147483647.0)
        return INT32_MAX;
    if (value > -2147483649.0)
        return static_cast<std::int32_t>(value);
    return value != value ? 0 : INT32_MIN;
}
