#include "core/SplitChoice.h"

#include "core/BandPool.h"
#include "core/Layer.h"

#include <algorithm>
#include <chrono>

namespace {

// The weight of a new cost in its way's mean: about the last eight renders of the chosen way count,
// and the last two probes of the other, which are far apart.
constexpr double chosenCostWeight = 1.0 / 8.0;
constexpr double probeCostWeight = 1.0 / 2.0;
// The other way must be this much cheaper to be taken: where both cost about the same, a probe
// from a cheaper moment (a cost that grows from frame to frame) would otherwise swap them back and
// forth.
constexpr double switchSaving = 0.25;
// The most a render counts for, against its way's mean (see record).
constexpr double spikeLimit = 1.25;

} // namespace

SplitChoice::SplitChoice(int firstProbe, int lastProbe)
    : firstProbe(std::max(firstProbe, 2)), lastProbe(std::max(lastProbe, this->firstProbe)),
      probeDistance(this->firstProbe), rendersToProbe(this->firstProbe) {}

bool SplitChoice::nextSplits() {
    probing = --rendersToProbe == 0;
    splitting = probing ? !choseSplit : choseSplit;
    return splitting;
}

void SplitChoice::record(double seconds) {
    // A layer's first render often prepares tables and buffers: its cost says nothing of later ones.
    double& mean = meanCost[splitting ? 1 : 0];
    if (firstRender) {
        firstRender = false;
    } else if (mean < 0.0) {
        mean = seconds;
    } else {
        // A render the system interrupted counts as only a little dearer than the mean, so that
        // one such render cannot swap the ways; a cost that really grows still lifts the mean.
        double weight = probing ? probeCostWeight : chosenCostWeight;
        mean += (std::min(seconds, mean * spikeLimit) - mean) * weight;
    }
    const double chosen = meanCost[choseSplit ? 1 : 0], other = meanCost[choseSplit ? 0 : 1];
    bool switching = chosen >= 0.0 && other >= 0.0 && other < chosen * (1.0 - switchSaving);
    if (switching) {
        choseSplit = !choseSplit;
        probeDistance = firstProbe;
    } else if (probing) {
        probeDistance = std::min(probeDistance * 2, lastProbe);
    }
    if (probing || switching)
        rendersToProbe = probeDistance;
}

void renderChoosingSplit(Layer& layer, SplitChoice& choice, Bitmap& target, double seconds) {
    BandPool& pool = bandPool();
    if (pool.threads() == 1) {
        layer.render(target, seconds);
        return;
    }
    bool split = choice.nextSplits();
    auto start = std::chrono::steady_clock::now();
    if (split) {
        layer.render(target, seconds);
    } else {
        BandPool::Alone alone(pool);
        layer.render(target, seconds);
    }
    choice.record(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}
