// Full-frame timings of the fades and the loading gauge on a 512 x 384 target.
#include "BandThreadsArg.h"
#include "BenchSupport.h"
#include "effects/FadeToBlackLayer.h"
#include "effects/FadeToWhiteLayer.h"
#include "effects/LoadingGaugeLayer.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

struct Frame {
    std::vector<std::uint32_t> memory = std::vector<std::uint32_t>(512 * 384, 0x00806040);
    Bitmap bitmap{512, 384, memory.data(), -1};
};

// The fades are timed mid-fade (the blend path), moving slowly so they never reach an end.
template <class Fade>
void timeFade(benchmark::State& state) {
    Frame frame;
    Fade fade;
    fade.setFadePosition(0.5);
    fade.setFadeTime(1.0e9);
    renderFrames(state, fade, frame.bitmap, 0.0);
}

void BM_FadeToBlackLayer(benchmark::State& state) {
    BandThreadsArg threads(state);
    timeFade<FadeToBlackLayer>(state);
}
BENCHMARK(BM_FadeToBlackLayer)->Arg(1)->Arg(2);

void BM_FadeToWhiteLayer(benchmark::State& state) {
    BandThreadsArg threads(state);
    timeFade<FadeToWhiteLayer>(state);
}
BENCHMARK(BM_FadeToWhiteLayer)->Arg(1)->Arg(2);

// The full ring (100 spokes, 12,900 lines), the last loading screen.
void BM_LoadingGaugeLayer(benchmark::State& state) {
    Frame picture, frame;
    LoadingGaugeLayer gauge(picture.bitmap);
    for (auto _ : state) {
        gauge.render(frame.bitmap, 1.0);
        benchmark::DoNotOptimize(frame.memory.data());
    }
}
BENCHMARK(BM_LoadingGaugeLayer);

} // namespace
