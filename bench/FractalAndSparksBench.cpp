// Per-frame cost of the fractal cloud and the two spark systems on a 512 x 384 screen, each after
// enough frames for its steady state (every spark fired at least once).

#include "BandThreadsArg.h"
#include "BenchSupport.h"
#include "core/ShowObjects.h"
#include "effects/IfsFractalLayer.h"
#include "effects/ParticleRingLayer.h"
#include "effects/ParticleStreamsLayer.h"

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

} // namespace
