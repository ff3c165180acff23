#pragma once
// FNV-1a 64 over 32-bit pixels taken as little-endian words: the bytes B, G, R and the top byte.
// Frames are hashed with the top byte as 0 (it carries no meaning and no file keeps it); pictures
// with it as loaded, since some layers carry it along.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

inline std::uint64_t pixelHash(const std::uint32_t* pixels, std::size_t count, std::uint32_t keep = 0x00FFFFFF) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t word = pixels[i] & keep;
        for (int shift = 0; shift < 32; shift += 8) {
            hash ^= (word >> shift) & 0xFF;
            hash *= 0x100000001B3ull;
        }
    }
    return hash;
}

// 16 lowercase hex digits.
inline std::string hashText(std::uint64_t hash) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}
