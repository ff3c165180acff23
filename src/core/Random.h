#pragma once
// The show's one pseudo-random generator. Its sequence is part of the picture: the order of
// nextRandom calls within a frame decides every layer's random numbers.

#include <cstdint>

// The generator's state; initialRandomState when the program starts.
constexpr std::uint32_t initialRandomState = 130596;
extern std::uint32_t randomState;

// Advances the state and returns it scaled to n: 0 .. n-1 for n > 0, except that the state
// 0xFFFFFFFF gives exactly n.
int nextRandom(int n);

// |value|; the most negative int stays as it is.
int absInt(int value);
