#pragma once
// Where the bands of one split start, moved from frame to frame so that the bands take equally
// long. For loops whose iterations cost more in one part of the range than in another (the sky
// and the ground of a landscape, the half of the screen the sparks crowd into), the same way from
// one frame to the next. The bands' bounds change nothing but the time: each iteration is the same
// whichever thread runs it.

#include "core/BandPool.h"

#include <chrono>
#include <vector>

class BandBalance {
  public:
    // Calls work(begin, end) once per band of `pool`, the ranges covering [0, count) in order
    // without overlap, as BandPool::forEachBand does but at this balance's bounds; then moves the
    // bounds towards the ones that would have ended the bands together.
    template <class Work> void forEachBand(BandPool& pool, int count, Work&& work) {
        const int bands = pool.bands();
        if (bands == 1 || count <= 1) {
            work(0, count);
            return;
        }
        auto bandWork = [&](int, int begin, int end) {
            if (begin < end)
                work(begin, end);
            return 0.0;
        };
        runBands(pool, bands, count, false, bandWork);
    }

    // forEachBand for bands that wait for one another (BandPool::forEachBandTogether): work(band,
    // begin, end) is called for every band, an empty one too, and returns the seconds it waited for
    // the others. The balance counts only the rest: a band held up by a slow neighbour is not slow.
    template <class Work> void forEachBandTogether(BandPool& pool, int count, Work&& work) {
        const int bands = pool.bands();
        if (bands == 1 || count <= 1) {
            work(0, 0, count);
            return;
        }
        runBands(pool, bands, count, true, work);
    }

    // The bounds of the last forEachBand over several bands: band b ran [bounds[b], bounds[b + 1]).
    const std::vector<int>& lastBounds() const { return bounds; }

    // The share of the range each band takes next, summing to 1.
    const std::vector<double>& bandShares() const { return shares; }

    // Starts from these shares instead (their number is the bands of the next call), as if the
    // balancing had moved there; they are scaled to sum to 1. Unless each is positive and finite,
    // they are ignored.
    void presetShares(const std::vector<double>& newShares);

  private:
    // bandWork(band, begin, end) for each of `bands` bands at the present bounds, on the pool's
    // threads (each band on its own if `together`), each band timed less the seconds it returns;
    // then the bounds move.
    template <class BandWork> void runBands(BandPool& pool, int bands, int count, bool together, BandWork& bandWork) {
        fit(bands);
        placeBounds(count);
        auto timedBands = [&](int firstBand, int endBand) {
            for (int band = firstBand; band < endBand; ++band) {
                const auto start = std::chrono::steady_clock::now();
                double waited = bandWork(band, bounds[band], bounds[band + 1]);
                seconds[band] =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() - waited;
            }
        };
        if (together)
            pool.forEachBandTogether(bands, timedBands);
        else
            pool.forEachBand(bands, timedBands);
        rebalance();
    }

    // Equal shares for a new number of bands.
    void fit(int bands);
    // The bounds of `count` iterations at the present shares.
    void placeBounds(int count);
    void rebalance();

    std::vector<double> shares;
    std::vector<double> seconds;
    std::vector<int> bounds;
};
