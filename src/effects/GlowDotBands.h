#pragma once
// Glow dots split over the band pool. The dots are first placed (projected), a band of dots per
// thread, then added a band of rows per thread: every thread reads every placement and adds the
// corners that fall in its rows. Each pixel receives the same additions as from one thread, only
// in another order, which addGlow does not notice (every channel only grows and stops at 254).

#include "effects/GlowDots.h"
#include "effects/GlowPoint.h"

#include <climits>
#include <cstdint>
#include <vector>

// The column of a placement that has nothing to draw (a real one stays within +-2^22).
constexpr std::int32_t hiddenGlowDot = INT32_MIN;

// placeGlowDot for each dot of the batch, into placements[0 .. count); the fastest code this
// processor runs. Hidden dots get the column hiddenGlowDot.
void placeGlowDots(const Bitmap& target, const GlowDotBatch& dots, int focal, int depth,
                   GlowDotPlacement* placements);
void placeGlowDotsPlain(const Bitmap& target, const GlowDotBatch& dots, int focal, int depth,
                        GlowDotPlacement* placements);
// Eight projections at a time. Only on AVX2 processors.
void placeGlowDotsAvx2(const Bitmap& target, const GlowDotBatch& dots, int focal, int depth,
                       GlowDotPlacement* placements);

// addGlowCorners for each placement of [0, count) in order, hidden ones passed over; the fastest
// code this processor runs. With placeGlowDots before it, the same as addGlowDots.
void addGlowDotPlacements(Bitmap& target, const GlowDotPlacement* placements, const std::uint32_t* colours,
                          int count, int margin);
// Four pixels of a dot inside the picture at once. Only on AVX2 processors.
void addGlowDotPlacementsAvx2(Bitmap& target, const GlowDotPlacement* placements, const std::uint32_t* colours,
                              int count, int margin);

// The corners addGlowCorners would write, restricted to picture rows [firstRow, endRow); `rows`
// holds each placement's row (or hiddenGlowDot), read first so that most dots outside the band
// are passed over without loading their placement.
void addPlacedGlowDots(Bitmap& target, const GlowDotPlacement* placements, const std::int32_t* rows,
                       const std::uint32_t* colours, int count, int margin, int firstRow, int endRow);
// The same, a dot inside the picture and the band four pixels at once. Only on AVX2 processors.
void addPlacedGlowDotsAvx2(Bitmap& target, const GlowDotPlacement* placements, const std::int32_t* rows,
                           const std::uint32_t* colours, int count, int margin, int firstRow, int endRow);
// addGlowCorners for one placed dot, its corners on rows [firstRow, endRow) only.
void addGlowCornersInRows(Bitmap& target, const GlowDotPlacement& placement, std::uint32_t colour, int margin,
                          int firstRow, int endRow);

// What the banded dots keep from frame to frame (grown to the batch once): the placements, and
// each dot's top row alone, which every band scans (hiddenGlowDot for a hidden dot).
struct GlowDotScratch {
    std::vector<GlowDotPlacement> placements;
    std::vector<std::int32_t> rows;

    // Room for `count` dots.
    void reserve(int count);
};

// addGlowDots over the band pool, the same picture at any thread count.
void addGlowDotsInBands(Bitmap& target, const GlowDotBatch& dots, int focal, int depth, int margin,
                        GlowDotScratch& scratch);

// The two steps of addGlowDotsInBands, for callers that do more in the same bands (scratch
// reserved for the batch first). Places dots [begin, end) of the batch into the scratch:
void placeGlowDotBand(const Bitmap& target, const GlowDotBatch& dots, int focal, int depth, GlowDotScratch& scratch,
                      int begin, int end);
// Once every dot is placed, adds the corners on band [begin, end) of the target's rows, the first
// band also those above the picture and the last those below it.
void addGlowDotRows(Bitmap& target, const std::uint32_t* colours, int count, int margin,
                    const GlowDotScratch& scratch, int begin, int end);
