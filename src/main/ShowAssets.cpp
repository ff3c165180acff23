#include "main/ShowAssets.h"

#include "effects/FadeToBlackLayer.h"
#include "effects/FadeToWhiteLayer.h"
#include "effects/LoadingGaugeLayer.h"
#include "image/PictureLoading.h"
#include "main/ShowLayers.h"
#include "main/ShowObjects.h"
#include "platform/ptc/Error.h"
#include "timeline/LayerList.h"

#include <string>
#include <utility>
#include <vector>

namespace {

// Pictures by the name the tables give them.
Bitmap* x1 = nullptr;

// A layer built on a picture it cannot use names the file in its error.
template <class LayerClass, class... Arguments>
LayerClass* constructFrom(const char* fileName, Arguments&&... arguments) {
    try {
        return new LayerClass(std::forward<Arguments>(arguments)...);
    } catch (const ptc::DynamicError& error) {
        throw ptc::DynamicError(std::string(fileName) + ": " + error.what());
    }
}

struct LoadingStep {
    int number; // the screen shows number / 100 after it
    std::function<void()> action;
};

struct ConstructionGroup {
    std::function<void()> action; // may be empty
    std::vector<double> fractions;
};

// The loading table. Steps that name pictures or layers not part of the show yet are absent;
// the numbers keep their places.
std::vector<LoadingStep> loadingTable() {
    return {
        {0, [] {
             x1 = loadBitmap("Data/x1.jpg");
             loadingGauge = constructFrom<LoadingGaugeLayer>("Data/x1.jpg", *x1);
         }},
        {78, [] { layerList = new LayerList; }},
    };
}

std::vector<ConstructionGroup> constructionTable() {
    return {
        {{}, {0.79, 0.83}},
        {[] {
             fadeToBlack = new FadeToBlackLayer;
             fadeToWhite = new FadeToWhiteLayer;
         },
         {0.96, 0.97}},
    };
}

} // namespace

void runLoadingPhase(const ProgressDisplay& showProgress) {
    for (const LoadingStep& step : loadingTable()) {
        step.action();
        showProgress(step.number / 100.0);
    }
}

void runConstructionPhase(const ProgressDisplay& showProgress) {
    for (const ConstructionGroup& group : constructionTable()) {
        if (group.action)
            group.action();
        for (double fraction : group.fractions)
            showProgress(fraction);
    }
}
