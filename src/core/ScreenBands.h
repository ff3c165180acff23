#pragma once
// Loops in which every pixel of the screen is worked on its own (blends, copies) split over the
// band pool, each band a run of whole rows.

#include "core/BandPool.h"
#include "core/ScreenSize.h"

// work(first, count) for pixels [first, first + count) of the screen; count is a multiple of 512.
template <class Work> void forEachScreenBand(Work&& work) {
    bandPool().forEachBand(screenHeight, [&](int firstRow, int endRow) {
        work(firstRow * screenWidth, (endRow - firstRow) * screenWidth);
    });
}
