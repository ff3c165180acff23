#include "effects/IfsFractalLayer.h"

#include "core/BandPool.h"
#include "core/CacheLines.h"
#include "core/Random.h"
#include "core/SimdLevel.h"
#include "effects/GlowDotBands.h"
#include "effects/GlowDots.h"
#include "effects/GlowPoint.h"
#include "effects/IfsCloud.h"
#include "effects/WrappingTruncation.h"
#include "platform/ptc/Error.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <thread>

namespace {

constexpr int focal = 10002;
constexpr int depth = 824;

// Frequency and phase of each coefficient's cosine, 12 per map (3 x 3 matrix, then the offset).
struct Drift {
    double frequency, phase;
};

constexpr Drift drifts[48] = {
    // map 0
    {0.052456, 8.1},
    {0.06456, 6.5},
    {0.07256, 8.5},
    {0.061757, 9.7},
    {0.0716567, 7.6},
    {0.052453, 4.5},
    {0.071456, 6.4},
    {0.066727, 5.8},
    {0.056582, 6.9},
    {0.0787782, 7.0},
    {0.05324, 4.9},
    {0.076635, 8.6},
    // map 1
    {0.063167, 3.5},
    {0.079827, 9.4},
    {0.062732, 2.3},
    {0.05578, 9.7},
    {0.068682, 7.6},
    {0.072686, 6.8},
    {0.0687376, 5.9},
    {0.0524527, 9.0},
    {0.0776327, 0.6},
    {0.06676, 3.5},
    {0.072457, 0.7},
    {0.06782, 4.3},
    // map 2
    {0.052682, 6.4},
    {0.077276, 7.5},
    {0.0686862, 9.7},
    {0.0712356, 0.3},
    {0.06628, 3.7},
    {0.05852, 0.8},
    {0.061425, 5.6},
    {0.07762, 7.7},
    {0.06345, 9.5},
    {0.07257, 8.4},
    {0.0652, 3.3},
    {0.05124, 1.6},
    // map 3
    {0.0654, 2.3},
    {0.072453, 3.4},
    {0.06762, 7.5},
    {0.065268, 6.6},
    {0.05268, 8.5},
    {0.06352, 3.7},
    {0.0722142, 9.3},
    {0.0634, 5.8},
    {0.072352, 7.9},
    {0.05145, 8.5},
    {0.0645, 9.4},
    {0.0725, 3.3},
};

// Chooses a map from a draw of 0 .. 256: weights 30, 120, 60 and 46 out of 256.
int chooseMap(int draw) {
    if (draw < 30)
        return 0;
    if (draw < 150)
        return 1;
    if (draw < 210)
        return 2;
    return 3;
}

// Per channel floor(c * weight / 256) left in the channel's upper byte (so two such words can be
// added before one shift): red and blue under one multiply, green under another.
std::uint32_t weightedHigh(std::uint32_t colour, std::uint32_t weight) {
    return (((colour & 0x00FF00FF) * weight) & 0xFF00FF00) | (((colour & 0x0000FF00) * weight) & 0x00FF0000);
}

const std::uint32_t* checkedPalette(const Bitmap& palette) {
    std::int64_t pixels =
        palette.width > 0 && palette.height > 0 ? std::int64_t{palette.width} * palette.height : 0;
    if (palette.pixels == nullptr || pixels < 256)
        throw ptc::DynamicError("IfsFractalLayer needs a palette picture of at least 256 pixels, given " +
                                std::to_string(palette.width) + " x " + std::to_string(palette.height));
    return palette.pixels;
}

} // namespace

IfsFractalLayer::IfsFractalLayer(int pointCount, Bitmap& palette)
    : pointCount(pointCount), palettePixels(checkedPalette(palette)) {}

void IfsFractalLayer::shiftPalette() {
    paletteBlend = 0.0;
    oldPaletteOffset = paletteOffset;
    paletteOffset = static_cast<std::int32_t>(static_cast<std::uint32_t>(paletteOffset) + 157u);
}

std::array<std::uint32_t, 256> IfsFractalLayer::blendedPalette() const {
    // Cosine ease: 0 at blend 0, 255 at blend 1 (cos 4096 is -8191).
    int eased = (8192 - sineTable->cos(truncateToLow32(paletteBlend * 4096.0))) >> 6;
    std::uint32_t newWeight = static_cast<std::uint32_t>(std::clamp(eased, 0, 255));
    std::uint32_t oldWeight = 255 - newWeight;
    std::array<std::uint32_t, 256> palette{};
    for (int i = 0; i < 256; ++i) {
        std::uint32_t from = palettePixels[(static_cast<std::uint32_t>(oldPaletteOffset) + i) & 255];
        std::uint32_t to = palettePixels[(static_cast<std::uint32_t>(paletteOffset) + i) & 255];
        palette[i] = (weightedHigh(from, oldWeight) + weightedHigh(to, newWeight)) >> 8;
    }
    return palette;
}

void IfsFractalLayer::render(Bitmap& target, double seconds) {
    if (spread > 0.7)
        spread *= 0.99;
    else
        spread = 0.7;

    double time = seconds * 2.3 + static_cast<int>(timeOffset);
    if (lastTime == -1.0)
        lastTime = time;
    double timeStep = time - lastTime;
    lastTime = time;

    std::array<std::uint32_t, 256> palette = blendedPalette();
    if (paletteBlend < 1.0)
        paletteBlend += timeStep;
    else
        paletteBlend = 1.0;

    double maps[4][12];
    for (int m = 0; m < 4; ++m)
        for (int j = 0; j < 12; ++j) {
            const Drift& drift = drifts[12 * m + j];
            maps[m][j] = std::cos(time * drift.frequency + drift.phase) * spread;
        }

    double turnA = 0.17 * time;
    double tiltB = std::sin(0.08 * time);
    IfsView view{std::sin(turnA), std::cos(turnA), std::sin(tiltB), std::cos(tiltB)};

    if (simdLevel() == SimdLevel::plain)
        drawPointsPlain(target, maps, view, palette);
    else if (bandPool().bands() == 1)
        drawPointsInBlocks(target, maps, view, palette);
    else
        drawPointsInTwoStages(target, maps, view, palette);
}

void IfsFractalLayer::drawPointsPlain(Bitmap& target, const Maps& maps, const IfsView& view,
                                      const std::array<std::uint32_t, 256>& palette) {
    randomState = 0;
    double x = 0.0, y = 0.0, z = 0.0;
    std::int32_t px, py, pz;
    std::uint32_t colour;
    IfsProjected projected{&px, &py, &pz, &colour};
    for (int i = 0; i < pointCount; ++i) {
        const double* k = maps[chooseMap(nextRandom(256))];
        double nx = k[0] * x + k[1] * y + k[2] * z + k[3];
        double ny = k[4] * x + k[5] * y + k[6] * z + k[7];
        double nz = k[8] * x + k[9] * y + k[10] * z + k[11];
        projectCloudPoint(view, x, y, z, nx, ny, nz, palette.data(), projected, 0);
        x = nx;
        y = ny;
        z = nz;
        GlowPoint{px, py, pz, colour}.draw(target, focal, depth);
    }
}

void IfsFractalLayer::takeMapChoices() {
    if (static_cast<int>(mapChoices.size()) != std::max(pointCount, 0)) {
        randomState = 0;
        mapChoices.resize(std::max(pointCount, 0));
        for (std::uint8_t& choice : mapChoices)
            choice = static_cast<std::uint8_t>(chooseMap(nextRandom(256)));
        stateAfterChoices = randomState;
    }
    randomState = stateAfterChoices;
}

int IfsFractalLayer::blockPoints(int block) const {
    return std::min(IfsCloudBlock::size, pointCount - block * IfsCloudBlock::size);
}

void IfsFractalLayer::walkBlock(const Maps& maps, const IfsView& view,
                                const std::array<std::uint32_t, 256>& palette, int block, IfsCloudBlock& out,
                                ProjectedStores stores) const {
    const int start = block * IfsCloudBlock::size;
    const int count = blockPoints(block);
    double* x = out.x;
    double* y = out.y;
    double* z = out.z;
    for (int i = 0; i < count; ++i) {
        const double* k = maps[mapChoices[start + i]];
        x[i + 1] = k[0] * x[i] + k[1] * y[i] + k[2] * z[i] + k[3];
        y[i + 1] = k[4] * x[i] + k[5] * y[i] + k[6] * z[i] + k[7];
        z[i + 1] = k[8] * x[i] + k[9] * y[i] + k[10] * z[i] + k[11];
    }
    IfsProjected projected{out.px, out.py, out.pz, out.colours};
    if constexpr (avx2Built) {
        if (simdLevel() == SimdLevel::avx2) {
            projectCloudAvx2(view, x + 1, y + 1, z + 1, count, palette.data(), projected, stores);
            return;
        }
    }
    projectCloudPlain(view, x + 1, y + 1, z + 1, count, palette.data(), projected);
}

namespace {

void addBlockDots(Bitmap& target, const IfsCloudBlock& block, int count) {
    addGlowDots(target, GlowDotBatch{block.px, block.py, block.pz, block.colours, count}, focal, depth, 1);
}

// The placements of the block's points [begin, end).
void placeBlockDots(const Bitmap& target, IfsCloudBlock& block, int begin, int end) {
    GlowDotBatch points{block.px + begin, block.py + begin, block.pz + begin, block.colours + begin,
                        end - begin};
    placeGlowDots(target, points, focal, depth, block.placements + begin);
}

std::size_t pictureBytes(const Bitmap& picture) {
    if (picture.width <= 0 || picture.height <= 0)
        return 0;
    return std::size_t(picture.width) * std::size_t(picture.height) * sizeof(std::uint32_t);
}

// Element 0 of a block's positions: where the walk stands after the `count` points of `previous`.
void startAfter(IfsCloudBlock& block, const IfsCloudBlock& previous, int count) {
    block.x[0] = previous.x[count];
    block.y[0] = previous.y[count];
    block.z[0] = previous.z[count];
}

} // namespace

void IfsFractalLayer::drawPointsInBlocks(Bitmap& target, const Maps& maps, const IfsView& view,
                                         const std::array<std::uint32_t, 256>& palette) {
    takeMapChoices();
    IfsCloudBlock block;
    block.x[0] = block.y[0] = block.z[0] = 0.0;
    for (int index = 0; index * IfsCloudBlock::size < pointCount; ++index) {
        walkBlock(maps, view, palette, index, block);
        addBlockDots(target, block, blockPoints(index));
        startAfter(block, block, blockPoints(index));
    }
}

// The walk cannot be split (every point follows from the one before), but it is about a third of
// the work: the caller walks, turns and places the first points of block after block, and the
// other band, once the caller has published a block, places the rest of it and adds all of its
// dots. Placing writes only the block's own placements; one thread writes the target, in the single
// loop's order. The walker never waits, so a band that the caller takes over itself (its thread
// came late) still finishes.
void IfsFractalLayer::drawPointsInTwoStages(Bitmap& target, const Maps& maps, const IfsView& view,
                                            const std::array<std::uint32_t, 256>& palette) {
    takeMapChoices();
    const int blockCount = (std::max(pointCount, 0) + IfsCloudBlock::size - 1) / IfsCloudBlock::size;
    if (static_cast<int>(frameBlocks.size()) < blockCount)
        frameBlocks.resize(blockCount);
    const int walkerPoints = std::clamp(walkerPlaces, 0, IfsCloudBlock::size);
    std::atomic<int> walked{0};
    std::thread::id walkerThread, adderThread;
    int blocksAwaited = 0;
    // Stage 0 walks, stage 1 adds; with more than two threads some bands hold neither.
    bandPool().forEachBand(2, [&](int firstStage, int endStage) {
        if (firstStage <= 0 && 0 < endStage) {
            walkerThread = std::this_thread::get_id();
            for (int index = 0; index < blockCount; ++index) {
                IfsCloudBlock& block = frameBlocks[index];
                if (index == 0)
                    block.x[0] = block.y[0] = block.z[0] = 0.0;
                else
                    startAfter(block, frameBlocks[index - 1], blockPoints(index - 1));
                walkBlock(maps, view, palette, index, block, ProjectedStores::streamed);
                placeBlockDots(target, block, 0, std::min(walkerPoints, blockPoints(index)));
                walked.store(index + 1, std::memory_order_release);
            }
        }
        if (firstStage <= 1 && 1 < endStage) {
            adderThread = std::this_thread::get_id();
            // The layers below drew the picture in bands on both threads; the dots land anywhere.
            claimCacheLines(target.pixels, pictureBytes(target));
            for (int index = 0; index < blockCount; ++index) {
                if (walked.load(std::memory_order_acquire) <= index) {
                    blocksAwaited += index > 0 ? 1 : 0; // the first block is always awaited
                    awaitBandProgress(walked, index + 1);
                }
                IfsCloudBlock& block = frameBlocks[index];
                placeBlockDots(target, block, std::min(walkerPoints, blockPoints(index)), blockPoints(index));
                addGlowDotPlacements(target, block.placements, block.colours, blockPoints(index), 1);
            }
        }
    });
    if (walkerThread != adderThread)
        shareThePlacing(blocksAwaited);
}

// An adder that had to wait for blocks gives the walker fewer points to place; one that never
// waited (it is the slower stage) gives it more. The share settles where the stages take equally
// long, whatever the machine: about 70 % of the points on the walker here.
void IfsFractalLayer::shareThePlacing(int blocksAwaited) {
    constexpr int step = 16;
    constexpr int awaitsAllowed = 2;
    if (blocksAwaited > awaitsAllowed)
        walkerPlaces = std::max(walkerPlaces - step, 0);
    else
        walkerPlaces = std::min(walkerPlaces + step, IfsCloudBlock::size);
}
