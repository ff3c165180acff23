#include "core/BandBalance.h"

#include <algorithm>
#include <cmath>

namespace {

// How far a share moves in one call at most: a band held up once (its thread lost its core) does
// not throw the bounds far.
constexpr double largestStep = 0.05;

} // namespace

void BandBalance::fit(int bands) {
    if (static_cast<int>(shares.size()) == bands)
        return;
    shares.assign(bands, 1.0 / bands);
    seconds.assign(bands, 0.0);
    bounds.assign(bands + 1, 0);
}

void BandBalance::presetShares(const std::vector<double>& newShares) {
    double total = 0.0;
    for (double share : newShares) {
        if (!(share > 0.0) || !std::isfinite(share))
            return;
        total += share;
    }
    if (newShares.empty() || !std::isfinite(total))
        return;
    fit(static_cast<int>(newShares.size()));
    for (std::size_t band = 0; band < newShares.size(); ++band)
        shares[band] = newShares[band] / total;
}

void BandBalance::placeBounds(int count) {
    const int bands = static_cast<int>(shares.size());
    double before = 0.0;
    for (int band = 0; band < bands; ++band) {
        bounds[band] = std::clamp(static_cast<int>(std::lround(before * count)), 0, count);
        before += shares[band];
    }
    bounds[bands] = count;
}

// A band's speed is the share it did per second; shares in proportion to the speeds would have
// ended the bands together. The shares go half way there, and none falls much below a quarter of
// an equal share, so that every band keeps a range to be timed on.
void BandBalance::rebalance() {
    const int bands = static_cast<int>(shares.size());
    double totalSpeed = 0.0;
    for (int band = 0; band < bands; ++band) {
        bool empty = bounds[band] == bounds[band + 1];
        if (empty || !(seconds[band] > 0.0))
            return;
        totalSpeed += shares[band] / seconds[band];
    }
    const double smallest = 0.25 / bands;
    double total = 0.0;
    for (int band = 0; band < bands; ++band) {
        double target = shares[band] / seconds[band] / totalSpeed;
        double step = std::clamp((target - shares[band]) / 2, -largestStep, largestStep);
        shares[band] = std::max(shares[band] + step, smallest);
        total += shares[band];
    }
    for (double& share : shares)
        share /= total;
}
