#pragma once
// The per-byte kernels of the full-screen fades. Each treats the four bytes of a pixel (the top
// byte included) as independent 8-bit channels. The scalar forms are the reference; the SSE2
// forms give the same bytes four pixels at a time.

#include <cstddef>
#include <cstdint>

// b = (b * weight) >> 8, weight 0 .. 255.
void darkenPixelsScalar(std::uint32_t* pixels, std::size_t count, int weight);
void darkenPixelsSse2(std::uint32_t* pixels, std::size_t count, int weight);

// b = min(255, ((b * (255 - weight)) >> 8) + weight), weight 0 .. 255.
void whitenPixelsScalar(std::uint32_t* pixels, std::size_t count, int weight);
void whitenPixelsSse2(std::uint32_t* pixels, std::size_t count, int weight);

// The forms the layers use.
void darkenPixels(std::uint32_t* pixels, std::size_t count, int weight);
void whitenPixels(std::uint32_t* pixels, std::size_t count, int weight);
