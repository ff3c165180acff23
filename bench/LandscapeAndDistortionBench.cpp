// Steady-state frames of the terrain flight, the warp, the lens (with its radial blur) and the
// polar voxel landscape at 512 x 384, on smooth procedural landscapes and photographs; read
// against BM_FrameCopy.

#include "BandThreadsArg.h"
#include "BenchSupport.h"
#include "core/BandPool.h"
#include "core/ShowObjects.h"
#include "effects/LensLayer.h"
#include "effects/PolarVoxelLayer.h"
#include "effects/RadialBlurLayer.h"
#include "effects/TerrainLayer.h"
#include "effects/WarpLayer.h"
#include "timeline/LayerList.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

struct Picture {
    Picture(int width, int height) : storage(static_cast<std::size_t>(width) * height) {
        bitmap.width = width;
        bitmap.height = height;
        bitmap.pixels = storage.data();
    }
    std::vector<std::uint32_t> storage;
    Bitmap bitmap;
};

// Rolling hills on a wrapped 512 x 512 map: a few sine waves of whole periods plus a little noise.
std::vector<std::uint8_t> hills(unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> phase(0.0, 6.283);
    double phases[4] = {phase(generator), phase(generator), phase(generator), phase(generator)};
    std::vector<std::uint8_t> map(512 * 512);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            double a = x * 6.283185307 / 512, b = y * 6.283185307 / 512;
            double h = 110 + 45 * std::sin(2 * a + phases[0]) * std::sin(3 * b + phases[1]) +
                       25 * std::sin(5 * a + 3 * b + phases[2]) + 12 * std::sin(11 * b - 7 * a + phases[3]) +
                       double(generator() % 6);
            // Flat lakes below 90.
            map[y * 512 + x] = static_cast<std::uint8_t>(std::max(90.0, std::min(255.0, h)));
        }
    return map;
}

// A photograph-like picture: smooth colour gradients with grain.
Picture photograph(unsigned seed) {
    std::mt19937 generator(seed);
    Picture picture(512, 512);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x)
            picture.storage[y * 512 + x] = (std::uint32_t((x / 2 + (generator() & 15)) & 255) << 16) |
                                           (std::uint32_t((y / 2 + (generator() & 15)) & 255) << 8) |
                                           std::uint32_t((x + y) / 4 & 255);
    return picture;
}

std::vector<std::uint32_t>& bufferA() {
    static std::vector<std::uint32_t> buffer(workBufferWords);
    workBufferA = buffer.data();
    return buffer;
}

std::vector<std::uint32_t>& bufferB() {
    static std::vector<std::uint32_t> buffer(workBufferWords);
    workBufferB = buffer.data();
    return buffer;
}

} // namespace

// After the opening descent (a few seconds), low over hills and lakes.
static void BM_TerrainLayer(benchmark::State& state) {
    bufferA();
    Picture colours = photograph(1), screen(512, 384);
    std::vector<std::uint8_t> heights = hills(2);
    TerrainLayer layer(colours.bitmap, heights.data());
    renderFrames(state, layer, screen.bitmap, 10.0, 300);
}
BENCHMARK(BM_TerrainLayer)->Unit(benchmark::kMicrosecond);

// The same frames with the rays and the enlargement split over 1 and 2 threads (wall time).
static void BM_TerrainLayerThreads(benchmark::State& state) {
    setBandThreads(int(state.range(0)));
    BM_TerrainLayer(state);
    setBandThreads(1);
}
BENCHMARK(BM_TerrainLayerThreads)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMicrosecond);

static void BM_WarpLayer(benchmark::State& state) {
    BandThreadsArg threads(state);
    bufferA();
    bufferB();
    LayerList list;
    layerList = &list;
    Picture picture = photograph(3), screen(512, 384);
    WarpLayer layer(picture.bitmap);
    renderFrames(state, layer, screen.bitmap, 30.0, 2);
    layerList = nullptr;
}
BENCHMARK(BM_WarpLayer)->Unit(benchmark::kMicrosecond)->Arg(1)->Arg(2);

// The whole lens layer: disc, ray texture, radial blur and the addition.
static void BM_LensLayer(benchmark::State& state) {
    BandThreadsArg threads(state);
    bufferA();
    Picture rays = photograph(4), lens = photograph(5), backdrop(512, 384), screen(512, 384);
    LensLayer layer(rays.bitmap, lens.bitmap, backdrop.bitmap);
    renderFrames(state, layer, screen.bitmap, 20.0, 2);
}
BENCHMARK(BM_LensLayer)->Unit(benchmark::kMicrosecond)->Arg(1)->Arg(2);

// The blur alone, with the lens layer's parameters.
static void BM_RadialBlurLayer(benchmark::State& state) {
    BandThreadsArg threads(state);
    Picture image = photograph(6);
    image.bitmap.height = 384;
    RadialBlurLayer blur;
    blur.setParameters(0.02f, 0.25f);
    blur.setCentre(300.7f, 150.2f);
    renderFrames(state, blur, image.bitmap, 0.0, 0);
}
BENCHMARK(BM_RadialBlurLayer)->Unit(benchmark::kMicrosecond)->Arg(1)->Arg(2);

static void BM_PolarVoxelLayer(benchmark::State& state) {
    Picture a = photograph(7), b = photograph(8), c = photograph(9), screen(512, 384);
    std::vector<std::uint8_t> m0 = hills(10), m1 = hills(11), m2 = hills(12), m3 = hills(13);
    PolarVoxelLayer layer(a.bitmap, b.bitmap, c.bitmap, m0.data(), m1.data(), m2.data(), m3.data());
    renderFrames(state, layer, screen.bitmap, 40.0, 2);
}
BENCHMARK(BM_PolarVoxelLayer)->Unit(benchmark::kMicrosecond);

// The same frames with every step split over 1 and 2 threads (wall time).
static void BM_PolarVoxelLayerThreads(benchmark::State& state) {
    setBandThreads(int(state.range(0)));
    BM_PolarVoxelLayer(state);
    setBandThreads(1);
}
BENCHMARK(BM_PolarVoxelLayerThreads)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The terrain's ray casting alone, by the plain march and by the march that leaps over empty space.
template <bool skipping> static void terrainRays(benchmark::State& state) {
    bufferA();
    Picture colours = photograph(1), screen(512, 384);
    std::vector<std::uint8_t> heights = hills(2);
    TerrainLayer layer(colours.bitmap, heights.data());
    double seconds = 10.0;
    for (int frame = 0; frame < 300; ++frame, seconds += 1.0 / 60.0)
        layer.render(screen.bitmap, seconds);
    std::vector<std::uint32_t> grid(TerrainLayer::gridColumns * TerrainLayer::gridRows);
    for (auto _ : state) {
        if (skipping)
            layer.castRaysSkipping(grid.data());
        else
            layer.castRaysPlain(grid.data());
        benchmark::DoNotOptimize(grid.data());
    }
}
static void BM_TerrainRaysPlain(benchmark::State& state) {
    terrainRays<false>(state);
}
static void BM_TerrainRaysSkipping(benchmark::State& state) {
    terrainRays<true>(state);
}
BENCHMARK(BM_TerrainRaysPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TerrainRaysSkipping)->Unit(benchmark::kMicrosecond);
