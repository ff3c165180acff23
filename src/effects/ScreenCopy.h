#pragma once
// A whole screen copied in bands of rows over the band pool. The banded layers before and after
// a copy draw the same rows on the same threads, so each thread copies rows that are already in
// its own cache and leaves them there for the next layer.

#include <cstdint>

// Copies the 512 x 384 pixels of `source` to `target` (the two do not overlap).
void copyScreen(std::uint32_t* target, const std::uint32_t* source);

// Pixels [0, count) one vector at a time; the reference for the copy of a band.
void copyPixels(std::uint32_t* target, const std::uint32_t* source, int count);
