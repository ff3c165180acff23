#pragma once
// Shared by the layer benchmarks: steady-state frames drawn the way the show draws them.

#include "core/Bitmap.h"
#include "core/Layer.h"

#include <benchmark/benchmark.h>

// Draws `warmUp` frames, then one frame per iteration, 1/60 s apart from `seconds`.
inline void renderFrames(benchmark::State& state, Layer& layer, Bitmap& target, double seconds = 10.0,
                         int warmUp = 0) {
    for (int frame = 0; frame < warmUp; ++frame, seconds += 1.0 / 60.0)
        layer.render(target, seconds);
    for (auto _ : state) {
        layer.render(target, seconds);
        benchmark::DoNotOptimize(target.pixels);
        benchmark::ClobberMemory();
        seconds += 1.0 / 60.0;
    }
}
