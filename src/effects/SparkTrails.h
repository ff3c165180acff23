#pragma once
// The trail machinery of the spark systems. Sparks are drawn into an accumulation image (512 x 384
// pixels, rows 512 apart, in a shared work buffer) that is added onto the screen with per-byte
// saturation and then blurred in place and darkened by 1/64, so every spark leaves a fading trail.

#include "core/BandBalance.h"
#include "core/Bitmap.h"
#include "core/PixelOps.h"
#include "core/SineTable.h"
#include "effects/GlowPoint.h"
#include "effects/SparkParticle.h"

#include <cstdint>
#include <functional>
#include <vector>

constexpr int trailWidth = 512;
constexpr int trailHeight = 384;
constexpr int trailPixels = trailWidth * trailHeight;

// The cloud's turn for one frame: about z, then y, then x, with sine-table values (8192 = 1.0).
class SparkRotation {
  public:
    SparkRotation(const SineTable& table, int angleX, int angleY, int angleZ);

    // The particle's position turned, its colour with the top byte cleared; 32-bit products wrap.
    SparkParticle turned(const SparkParticle& particle) const;

    // turned() for particles [0, count), into the four arrays; eight at a time with AVX2.
    void turnInto(const SparkParticle* particles, int count, std::int32_t* x, std::int32_t* y, std::int32_t* z,
                  std::uint32_t* colours) const;

  private:
    std::int32_t sinX, cosX, sinY, cosY, sinZ, cosZ;
};

// Draws the particle, turned, into the accumulation image as SparkParticle::draw does (focal
// 16002, depth 4096), inlined for the constants.
inline void drawTurnedSpark(Bitmap& trails, const SparkRotation& rotation, const SparkParticle& particle) {
    SparkParticle spark = rotation.turned(particle);
    addGlowDot(trails, spark.x, spark.y, spark.z, spark.colour, 16002, 4096, 2);
}

// drawTurnedSpark for every particle, in batches through addGlowDots.
void drawTurnedSparks(Bitmap& trails, const SparkRotation& rotation,
                      const std::vector<SparkParticle>& particles);

// Moves every particle one step and lists, in order, those whose life ran out: their births
// draw random numbers, which must keep that order. Split over the band pool in the bands of
// particles drawTurnedSparks turns, so that each thread moves the particles it has just read.
void stepSparks(std::vector<SparkParticle>& particles, std::vector<int>& spent);

// The bands of drawSparkFrame, moved from frame to frame to balance the threads: the
// particles (the threads are not equally fast) and the rows (the dots crowd into some). Kept by
// each spark system; not part of its state.
struct SparkBands {
    BandBalance particles, rows;
};

// One frame of a spark system: drawTurnedSparks, stepSparks, addTrails, the births (`births`,
// called once, gives the spent sparks new lives in their order) and blurTrails over the target's
// width and height. Over the band pool, a thread turns, places and moves a band of particles, then
// adds the dots of a band of rows, adds those rows (final then) onto the target and blurs them,
// following the band above: two splits, and each row of the trails stays on one core. The births
// change neither image, so they run in the second split, on its first band.
void drawSparkFrame(Bitmap& target, Bitmap& trails, const SparkRotation& rotation,
                    std::vector<SparkParticle>& particles, std::vector<int>& spent, SparkBands& bands,
                    const std::function<void()>& births);

// Every byte of the first width x height target pixels (at most the accumulation image's)
// becomes min(255, accumulation byte + target byte).
void addTrails(Bitmap& target, const std::uint32_t* accumulation);

// Reference of addTrails, one pixel at a time.
void addTrailsPlain(Bitmap& target, const std::uint32_t* accumulation);

// For rows 1 .. height - 2 and columns 1 .. width - 2 (clipped to the accumulation image), in
// memory order and in place: the per-channel mean of the four neighbours, then c - (c >> 6); the
// top byte becomes 0. Left and upper neighbours are therefore already blurred when read.
void blurTrails(std::uint32_t* accumulation, int width, int height);

// Reference of blurTrails, one pixel at a time as described above.
void blurTrailsPlain(std::uint32_t* accumulation, int width, int height);

// blurTrails for the pixel at `at` of the accumulation image: the per-channel mean of its four
// neighbours (10-bit sums halved twice), less its 64th.
inline void blurTrailPixel(std::uint32_t* at) {
    const std::uint32_t up = at[-trailWidth], down = at[trailWidth], left = at[-1], right = at[1];
    std::uint32_t redBlue =
        (((up & redBlueMask) + (down & redBlueMask) + (left & redBlueMask) + (right & redBlueMask)) >> 2) &
        redBlueMask;
    std::uint32_t green =
        (((up & greenMask) + (down & greenMask) + (left & greenMask) + (right & greenMask)) >> 2) & greenMask;
    std::uint32_t mean = redBlue | green;
    *at = mean - ((mean >> 6) & 0x030303);
}

// Step `step` of `rowCount` rows from `rows` drawn down a diagonal, row k at column step - k: the
// rows whose column lies in 1 .. lastColumn (the steps where the vector forms have a row idle).
inline void blurTrailDiagonalStep(std::uint32_t* rows, int rowCount, int lastColumn, int step) {
    for (int k = 0; k < rowCount; ++k) {
        int column = step - k;
        if (column >= 1 && column <= lastColumn)
            blurTrailPixel(rows + k * trailWidth + column);
    }
}
