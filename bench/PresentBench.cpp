// The present path of a frame: the console's row copy, plain and vector, and a whole surface
// written to a headless 32-bit console. Compare with BM_FrameCopy.

#include "BandThreadsArg.h"
#include "driver/ShowDisplay.h"
#include "platform/ptc/Console.h"
#include "platform/ptc/HeadlessBackend.h"
#include "platform/ptc/ShownPixels.h"
#include "platform/ptc/Surface.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

constexpr int frameWidth = 512;
constexpr int frameHeight = 384;
constexpr std::size_t framePixels = std::size_t(frameWidth) * frameHeight;

template <void (*copyRow)(std::uint32_t*, const std::uint32_t*, std::size_t)>
void shownPixelsFrame(benchmark::State& state) {
    std::vector<std::uint32_t> source(framePixels, 0xAB123456u), target(framePixels);
    for (auto _ : state) {
        for (int y = 0; y < frameHeight; ++y)
            copyRow(target.data() + std::size_t(y) * frameWidth, source.data() + std::size_t(y) * frameWidth,
                    frameWidth);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
}

void BM_ShownPixelsScalar(benchmark::State& state) {
    shownPixelsFrame<ptc::copyShownPixelsScalar>(state);
}
BENCHMARK(BM_ShownPixelsScalar);

void BM_ShownPixelsSse2(benchmark::State& state) {
    shownPixelsFrame<ptc::copyShownPixelsSse2>(state);
}
BENCHMARK(BM_ShownPixelsSse2);

void BM_PresentHeadless(benchmark::State& state) {
    const ptc::Format format32(32, 0xFF0000, 0x00FF00, 0x0000FF);
    ptc::Console console(std::make_unique<ptc::HeadlessBackend>());
    console.open("bench", frameWidth, frameHeight, format32, 0);
    ptc::Surface surface(frameWidth, frameHeight, format32);
    for (auto _ : state) {
        surface.copy(console);
        console.update();
    }
}
BENCHMARK(BM_PresentHeadless);

// The show's own present: the frame copied to the console in bands of rows.
void BM_PresentOffscreen(benchmark::State& state) {
    BandThreadsArg threads(state);
    const ptc::Format format32(32, 0xFF0000, 0x00FF00, 0x0000FF);
    ptc::Console showConsole(std::make_unique<ptc::HeadlessBackend>());
    showConsole.open("bench", frameWidth, frameHeight, format32, 0);
    ptc::Surface surface(frameWidth, frameHeight, format32);
    console = &showConsole;
    offscreen = &surface;
    centred = false;
    for (auto _ : state)
        presentOffscreen();
    console = nullptr;
    offscreen = nullptr;
}
BENCHMARK(BM_PresentOffscreen)->Arg(1)->Arg(2);

} // namespace
