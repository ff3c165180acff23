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

// Whether this build has the AVX2 loops. Native x86-64 builds do, and choose them at run time;
// the WebAssembly build has the SSE2 loops only (as WebAssembly SIMD), at a level fixed when it is
// built. Effects call an AVX2 loop inside `if constexpr (avx2Built)`, so the web build needs none.
#if defined(__EMSCRIPTEN__)
inline constexpr bool avx2Built = false;
#else
inline constexpr bool avx2Built = true;
#endif
