#pragma once
// Loops in which every pixel of the screen is worked on its own (blends, copies) split over the
// band pool, each band a run of whole rows.

#include "core/BandBalance.h"
#include "core/BandPool.h"
#include "core/ScreenSize.h"

// work(first, count) for pixels [first, first + count) of the screen; count is a multiple of 512.
// Each loop (each type of `work`) keeps its own balance: a band's cost depends on which of the
// threads last had its rows, which differs from loop to loop.
template <class Work> void forEachScreenBand(Work&& work) {
    static BandBalance balance;
    balance.forEachBand(bandPool(), screenHeight, [&](int firstRow, int endRow) {
        work(firstRow * screenWidth, (endRow - firstRow) * screenWidth);
    });
}
