#pragma once
// A pixel format: direct colour (bits per pixel and channel masks), 8-bit indexed, or empty.

#include <cstdint>

namespace ptc {

class Format {
public:
    // The empty format: 0 bits, no masks.
    Format() = default;
    // 8-bit indexed (the only valid value of `bits` here is 8).
    explicit Format(int bits);
    // Direct colour.
    Format(int bits, std::uint32_t red, std::uint32_t green, std::uint32_t blue, std::uint32_t alpha = 0);

    int bits() const { return bitCount; }
    int bytes() const { return (bitCount + 7) / 8; }
    std::uint32_t r() const { return redMask; }
    std::uint32_t g() const { return greenMask; }
    std::uint32_t b() const { return blueMask; }
    std::uint32_t a() const { return alphaMask; }
    bool direct() const { return isDirect; }
    bool indexed() const { return bitCount == 8 && !isDirect; }
    bool empty() const { return bitCount == 0; }

    // Same kind, bits and masks.
    bool operator==(const Format& other) const = default;

private:
    int bitCount = 0;
    bool isDirect = false;
    std::uint32_t redMask = 0;
    std::uint32_t greenMask = 0;
    std::uint32_t blueMask = 0;
    std::uint32_t alphaMask = 0;
};

} // namespace ptc
