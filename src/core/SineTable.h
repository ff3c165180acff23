#pragma once
// Fixed-point trigonometry: a turn is 8192 angle steps, values are scaled by 8192 (so a product
// with a sine is shifted right by 13). Any int is a valid angle: the index is masked by 0x1FFF.

#include <cstdint>

class SineTable {
public:
    // The one table, built on first use.
    static SineTable* instance();

    int sin(int index) const { return sinTable[index & 0x1FFF]; }
    int cos(int index) const { return cosTable[index & 0x1FFF]; }

    std::int32_t* sinTable = nullptr;
    std::int32_t* cosTable = nullptr;

private:
    SineTable() = default;
};
