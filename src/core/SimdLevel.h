#pragma once
// The vector instruction set the effects' inner loops use. Every vector loop gives the same bits
// as its plain loop, which stays the reference; tests lower the level to compare the two.

enum class SimdLevel { plain = 0, sse2 = 1, avx2 = 2 };

// The best level this processor runs.
SimdLevel supportedSimdLevel();

// The level in use: the supported one unless setSimdLevel lowered it.
SimdLevel simdLevel();

// Chooses the level, capped at the supported one.
void setSimdLevel(SimdLevel level);
