#pragma once
// Packed-pixel arithmetic shared by the effects. A pixel is 0x00RRGGBB; red and blue are worked
// on together under redBlueMask (one multiply for both), green alone under greenMask.

#include <cstdint>

constexpr std::uint32_t redBlueMask = 0x00FF00FF;
constexpr std::uint32_t greenMask = 0x0000FF00;
constexpr std::uint32_t colourMask = 0x00FFFFFF;

// Per channel floor(c * weight / 256), weight 0..256; the top byte becomes 0.
inline std::uint32_t scaleRGB(std::uint32_t colour, std::uint32_t weight) {
    return (((colour & redBlueMask) * weight >> 8) & redBlueMask) |
           (((colour & greenMask) * weight >> 8) & greenMask);
}

// Per byte, all four bytes: floor(b * weight / 256), weight 0..256.
inline std::uint32_t scaleBytes(std::uint32_t pixel, std::uint32_t weight) {
    std::uint32_t evenBytes = ((pixel & 0x00FF00FF) * weight >> 8) & 0x00FF00FF;
    std::uint32_t oddBytes = (((pixel >> 8) & 0x00FF00FF) * weight) & 0xFF00FF00;
    return evenBytes | oddBytes;
}

// Per byte, all four bytes: min(255, a + b).
inline std::uint32_t addSaturateBytes(std::uint32_t a, std::uint32_t b) {
    std::uint32_t evenSum = (a & 0x00FF00FF) + (b & 0x00FF00FF);
    std::uint32_t oddSum = ((a >> 8) & 0x00FF00FF) + ((b >> 8) & 0x00FF00FF);
    // A carry out of a byte lands in bit 8 of its 16-bit lane: spread it over the byte.
    evenSum |= ((evenSum >> 8) & 0x00010001) * 0xFF;
    oddSum |= ((oddSum >> 8) & 0x00010001) * 0xFF;
    return (evenSum & 0x00FF00FF) | ((oddSum & 0x00FF00FF) << 8);
}

// Per byte, all four bytes: max(0, a - b).
inline std::uint32_t subtractSaturateBytes(std::uint32_t a, std::uint32_t b) {
    std::uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        std::uint32_t x = (a >> shift) & 0xFF;
        std::uint32_t y = (b >> shift) & 0xFF;
        result |= (x > y ? x - y : 0) << shift;
    }
    return result;
}

// Per colour channel (a * wa + b * wb) >> 8 with wa + wb <= 256: each channel's sum stays below
// 65,536, so red and blue share one word (the sum reaches 0xFF00FF00 in unsigned 32-bit). Top byte 0.
inline std::uint32_t mixRGB(std::uint32_t a, std::uint32_t wa, std::uint32_t b, std::uint32_t wb) {
    std::uint32_t redBlue = ((a & redBlueMask) * wa + (b & redBlueMask) * wb) >> 8 & redBlueMask;
    std::uint32_t green = ((a & greenMask) * wa + (b & greenMask) * wb) >> 8 & greenMask;
    return redBlue | green;
}

// Per byte, all four bytes: (a * wa + b * wb) >> 8 with wa + wb <= 256.
inline std::uint32_t mixBytes(std::uint32_t a, std::uint32_t wa, std::uint32_t b, std::uint32_t wb) {
    std::uint32_t evenBytes = ((a & 0x00FF00FF) * wa + (b & 0x00FF00FF) * wb) >> 8 & 0x00FF00FF;
    std::uint32_t oddBytes = (((a >> 8) & 0x00FF00FF) * wa + ((b >> 8) & 0x00FF00FF) * wb) & 0xFF00FF00;
    return evenBytes | oddBytes;
}
