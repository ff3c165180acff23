// Steady-state frames of the photograph and mapping layers at 512 x 384, read against
// BM_FrameCopy, a plain copy of one frame.

#include "BandThreadsArg.h"
#include "BenchSupport.h"
#include "core/Bitmap.h"
#include "core/ShowObjects.h"
#include "effects/CrossFadeLayer.h"
#include "effects/FeedbackMapLayer.h"
#include "effects/GridMovieLayer.h"
#include "effects/MaskedFadeLayer.h"
#include "effects/MaskedPictureLayer.h"
#include "effects/NoiseLayer.h"
#include "effects/ParticleFlowLayer.h"
#include "effects/PictureLayer.h"
#include "effects/SwirlMapLayer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int screenPixels = 512 * 384;

struct OwnedPicture {
    OwnedPicture(int width, int height, unsigned seed) : storage(static_cast<std::size_t>(width) * height) {
        std::mt19937 generator(seed);
        for (auto& pixel : storage)
            pixel = generator() & 0x00FFFFFF;
        bitmap.width = width;
        bitmap.height = height;
        bitmap.pixels = storage.data();
    }
    std::vector<std::uint32_t> storage;
    Bitmap bitmap;
};

// A soft-edged mask: smooth gradients with some noise, like a photograph's mask.
std::vector<std::uint8_t> makeMask(unsigned seed) {
    std::mt19937 generator(seed);
    std::vector<std::uint8_t> mask(screenPixels);
    for (int y = 0; y < 384; ++y)
        for (int x = 0; x < 512; ++x)
            mask[y * 512 + x] = static_cast<std::uint8_t>((x + y + (generator() & 31)) & 255);
    return mask;
}

} // namespace

static void BM_FrameCopy(benchmark::State& state) {
    OwnedPicture source(512, 384, 1), screen(512, 384, 2);
    for (auto _ : state) {
        std::memcpy(screen.bitmap.pixels, source.bitmap.pixels, screenPixels * sizeof(std::uint32_t));
        benchmark::DoNotOptimize(screen.bitmap.pixels);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FrameCopy);

static void BM_PictureLayer(benchmark::State& state) {
    BandThreadsArg threads(state);
    OwnedPicture picture(512, 384, 1), screen(512, 384, 2);
    PictureLayer layer(picture.bitmap);
    renderFrames(state, layer, screen.bitmap);
}
BENCHMARK(BM_PictureLayer)->Arg(1)->Arg(2);

static void BM_MaskedPictureLayer(benchmark::State& state) {
    BandThreadsArg threads(state);
    OwnedPicture picture(512, 384, 1), screen(512, 384, 2);
    std::vector<std::uint8_t> mask = makeMask(3);
    MaskedPictureLayer layer(picture.bitmap, mask.data());
    layer.setFadePosition(0.6); // mid-fade: the mask is scaled every pixel
    layer.setFadeDirection(0);
    renderFrames(state, layer, screen.bitmap);
}
BENCHMARK(BM_MaskedPictureLayer)->Arg(1)->Arg(2);

static void BM_CrossFadeLayer(benchmark::State& state) {
    BandThreadsArg threads(state);
    OwnedPicture from(512, 384, 1), to(512, 384, 2), screen(512, 384, 3);
    CrossFadeLayer layer(from.bitmap, to.bitmap);
    layer.setFadePosition(0.4);
    layer.setFadeDirection(0);
    renderFrames(state, layer, screen.bitmap);
}
BENCHMARK(BM_CrossFadeLayer)->Arg(1)->Arg(2);

static void BM_MaskedFadeLayer(benchmark::State& state) {
    BandThreadsArg threads(state);
    OwnedPicture from(512, 384, 1), to(512, 384, 2), screen(512, 384, 3);
    std::vector<std::uint8_t> fromMask = makeMask(4), toMask = makeMask(5);
    MaskedFadeLayer layer(from.bitmap, to.bitmap, fromMask.data(), toMask.data());
    layer.position = 0.4; // the morph between the two pairs, the costliest case
    renderFrames(state, layer, screen.bitmap);
}
BENCHMARK(BM_MaskedFadeLayer)->Arg(1)->Arg(2);

static void BM_GridMovieLayer(benchmark::State& state) {
    BandThreadsArg threads(state);
    OwnedPicture movie(129, 97 * 40, 6), screen(512, 384, 3);
    GridMovieLayer layer(movie.bitmap, 30.0);
    renderFrames(state, layer, screen.bitmap);
}
BENCHMARK(BM_GridMovieLayer)->Arg(1)->Arg(2);

static void BM_SwirlMapLayer(benchmark::State& state) {
    BandThreadsArg threads(state);
    OwnedPicture texture(512, 512, 7), screen(512, 384, 3);
    SwirlMapLayer layer(texture.bitmap);
    layer.startTwist();
    layer.pulse();
    renderFrames(state, layer, screen.bitmap);
}
BENCHMARK(BM_SwirlMapLayer)->Arg(1)->Arg(2);

static void BM_FeedbackMapLayer(benchmark::State& state) {
    BandThreadsArg threads(state);
    OwnedPicture p0(512, 384, 1), p1(512, 384, 2), p2(512, 384, 4), p3(512, 384, 5), screen(512, 384, 3);
    FeedbackMapLayer layer(p0.bitmap, p1.bitmap, p2.bitmap, p3.bitmap);
    renderFrames(state, layer, screen.bitmap);
}
BENCHMARK(BM_FeedbackMapLayer)->Arg(1)->Arg(2);

static void BM_ParticleFlowLayer(benchmark::State& state) {
    BandThreadsArg threads(state);
    OwnedPicture screen(512, 384, 3);
    std::vector<std::uint32_t> glow(workBufferWords);
    workBufferA = glow.data();
    musicLevel = 90;
    // Rolling hills with flat valleys, and a round soft sprite.
    std::vector<std::uint8_t> hills(screenPixels), sprite(64, 0);
    for (int y = 0; y < 384; ++y)
        for (int x = 0; x < 512; ++x)
            hills[y * 512 + x] =
                static_cast<std::uint8_t>(std::max(0.0, 200.0 * std::sin(x * 0.03) * std::cos(y * 0.02)));
    for (int r = 0; r < 7; ++r)
        for (int k = 0; k < 7; ++k)
            sprite[r * 8 + k] =
                static_cast<std::uint8_t>(std::max(0, 255 - 28 * ((r - 3) * (r - 3) + (k - 3) * (k - 3))));
    ParticleFlowLayer layer(8000, hills.data(), hills.data(), nullptr, nullptr, sprite.data());
    layer.render(screen.bitmap, 40.0); // all 8000 particles drawn from here on
    double seconds = 40.0;
    for (auto _ : state) {
        seconds += 1.0 / 60.0;
        layer.render(screen.bitmap, seconds);
        benchmark::ClobberMemory();
    }
    workBufferA = nullptr;
}
BENCHMARK(BM_ParticleFlowLayer)->Arg(1)->Arg(2);

static void BM_NoiseLayer(benchmark::State& state) {
    OwnedPicture screen(512, 384, 3);
    NoiseLayer layer;
    layer.setFadePosition(0.3); // light static mixed into the picture
    layer.setFadeDirection(0);
    renderFrames(state, layer, screen.bitmap);
}
BENCHMARK(BM_NoiseLayer);
