#include "core/Random.h"

#include <bit>

std::uint32_t randomState = initialRandomState;

int nextRandom(int n) {
    randomState = std::rotl(randomState + 157u, 11) ^ 157u;
    // The double nearest 1 / 4294967295 (bits 0x3DF0000000100000).
    constexpr double inverseMax = 2.3283064370807974e-10;
    return static_cast<int>(static_cast<double>(randomState) * inverseMax * static_cast<double>(n));
}

int absInt(int value) {
    // Negating in unsigned arithmetic keeps INT_MIN as it is without overflowing.
    return value >= 0 ? value : static_cast<int>(0u - static_cast<unsigned>(value));
}
