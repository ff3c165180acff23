// Per-frame cost of the fractal cloud and the two spark systems on a 512 x 384 screen, each after
// enough frames for its steady state (every spark fired at least once).

#include "BandThreadsArg.h"
#include "BenchSupport.h"
#include "core/ShowObjects.h"
#include "core/SimdLevel.h"
#include "effects/IfsFractalLayer.h"
#include "effects/ParticleRingLayer.h"
#include "effects/ParticleStreamsLayer.h"
#include "effects/SparkTrails.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

struct Screen {
    std::vector<std::uint32_t> memory = std::vector<std::uint32_t>(512 * 384, 0x00204060);
    Bitmap bitmap;
    Screen() {
        bitmap.width = 512;
        bitmap.height = 384;
        bitmap.pixels = memory.data();
    }
};

std::uint32_t* benchWorkBuffer() {
    static std::vector<std::uint32_t> buffer(workBufferWords);
    workBufferA = buffer.data();
    return buffer.data();
}

template <class LayerType> void runFrames(benchmark::State& state, LayerType& layer) {
    Screen screen;
    renderFrames(state, layer, screen.bitmap, 10.0, 200);
}

void BM_IfsFractalLayer(benchmark::State& state) {
    BandThreadsArg threads(state);
    std::vector<std::uint32_t> colours(256);
    for (int i = 0; i < 256; ++i)
        colours[i] = static_cast<std::uint32_t>(i * 0x010203) & 0xFFFFFF;
    Bitmap palette;
    palette.width = 256;
    palette.height = 1;
    palette.pixels = colours.data();
    IfsFractalLayer layer(40000, palette);
    runFrames(state, layer);
}
BENCHMARK(BM_IfsFractalLayer)->Unit(benchmark::kMicrosecond)->Arg(1)->Arg(2);

void BM_ParticleStreamsLayer(benchmark::State& state) {
    BandThreadsArg threads(state);
    benchWorkBuffer();
    ParticleStreamsLayer layer(16000);
    runFrames(state, layer);
}
BENCHMARK(BM_ParticleStreamsLayer)->Unit(benchmark::kMicrosecond)->Arg(1)->Arg(2);

void BM_ParticleRingLayer(benchmark::State& state) {
    BandThreadsArg threads(state);
    benchWorkBuffer();
    ParticleRingLayer layer(16000);
    runFrames(state, layer);
}
BENCHMARK(BM_ParticleRingLayer)->Unit(benchmark::kMicrosecond)->Arg(1)->Arg(2);

// The sparks' trail blur alone over the whole accumulation image, on one thread: the plain loop,
// the rows four at a time (SSE2) and eight at a time (AVX2).
void BM_TrailBlur(benchmark::State& state) {
    const auto level = static_cast<SimdLevel>(state.range(0));
    if (level > supportedSimdLevel()) {
        state.SkipWithError("this processor lacks the instructions");
        return;
    }
    setSimdLevel(level);
    std::vector<std::uint32_t> trails(trailPixels, 0x00406080);
    for (std::size_t i = 0; i < trails.size(); i += 97)
        trails[i] = 0x00FFFFFF;
    for (auto _ : state) {
        blurTrails(trails.data(), trailWidth, trailHeight);
        benchmark::DoNotOptimize(trails.data());
    }
    setSimdLevel(supportedSimdLevel());
}
BENCHMARK(BM_TrailBlur)
    ->Unit(benchmark::kMicrosecond)
    ->Arg(static_cast<int>(SimdLevel::plain))
    ->Arg(static_cast<int>(SimdLevel::sse2))
    ->Arg(static_cast<int>(SimdLevel::avx2));

} // namespace
