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

} // namespace

SplitChoice::SplitChoice(int firstProbe, int lastProbe)
    : firstProbe(std::max(firstProbe, 2)), lastProbe(std::max(lastProbe, this->firstProbe)),
      probeDistance(this->firstProbe), rendersToProbe(this->firstProbe) {}

bool SplitChoice::prefersSplit() const {
    const double alone = meanCost[0], split = meanCost[1];
    return !(alone >= 0.0 && split >= 0.0 && alone < split);
}

bool SplitChoice::nextSplits() {
    ++renders;
    probing = --rendersToProbe == 0;
    splitting = probing ? !prefersSplit() : prefersSplit();
    return splitting;
}

void SplitChoice::record(double seconds) {
    bool preferredSplit = prefersSplit();
    // A layer's first render often prepares tables and buffers: its cost says nothing of later ones.
    if (renders > 1) {
        double& mean = meanCost[splitting ? 1 : 0];
        double weight = probing ? probeCostWeight : chosenCostWeight;
        mean = mean < 0.0 ? seconds : mean + (seconds - mean) * weight;
    }
    if (prefersSplit() != preferredSplit)
        probeDistance = firstProbe;
    else if (probing)
        probeDistance = std::min(probeDistance * 2, lastProbe);
    if (probing || prefersSplit() != preferredSplit)
        rendersToProbe = probeDistance;
}

void renderChoosingSplit(Layer& layer, Bitmap& target, double seconds) {
    BandPool& pool = bandPool();
    if (pool.threads() == 1) {
        layer.render(target, seconds);
        return;
    }
    SplitChoice& choice = layer.splitChoice;
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
