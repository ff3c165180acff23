#include "core/SimdLevel.h"

namespace {

#if defined(__EMSCRIPTEN__)
// WebAssembly SIMD stands in for SSE2; there is no processor to ask.
SimdLevel detectSimdLevel() {
    return SimdLevel::sse2;
}
#else
SimdLevel detectSimdLevel() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return SimdLevel::avx2;
    if (__builtin_cpu_supports("sse2"))
        return SimdLevel::sse2;
    return SimdLevel::plain;
}
#endif

// Function-local, so that the level is right even when asked for during static initialisation.
SimdLevel& chosenLevel() {
    static SimdLevel level = supportedSimdLevel();
    return level;
}

} // namespace

SimdLevel supportedSimdLevel() {
    static const SimdLevel level = detectSimdLevel();
    return level;
}

SimdLevel simdLevel() {
    return chosenLevel();
}

void setSimdLevel(SimdLevel level) {
    chosenLevel() = level < supportedSimdLevel() ? level : supportedSimdLevel();
}
