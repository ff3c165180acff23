#pragma once
// The process-wide objects a test points at its own (the display, the screen, the work buffers,
// the layer list, the music level, the random states, the loading gauge, and any of the show's
// layer pointers it names), put back when the guard goes, also when an assertion ends the test
// early.

#include "core/Random.h"
#include "core/ShowObjects.h"
#include "driver/ShowDisplay.h"
#include "effects/ParticleFlowLayer.h"
#include "show/ShowLayers.h"

#include <functional>
#include <vector>

namespace showtest {

class ShowObjectsGuard {
  public:
    ShowObjectsGuard() = default;
    ~ShowObjectsGuard() {
        for (auto restore = restores.rbegin(); restore != restores.rend(); ++restore)
            (*restore)();
        ::console = savedConsole;
        ::offscreen = savedOffscreen;
        ::centred = savedCentred;
        ::screen = savedScreen;
        ::workBufferA = savedWorkBufferA;
        ::workBufferB = savedWorkBufferB;
        ::layerList = savedLayerList;
        ::musicLevel = savedMusicLevel;
        ::randomState = savedRandomState;
        ::flowRandomState = savedFlowRandomState;
        ::loadingGauge = savedLoadingGauge;
    }
    ShowObjectsGuard(const ShowObjectsGuard&) = delete;
    ShowObjectsGuard& operator=(const ShowObjectsGuard&) = delete;

    // Sets `object` (another process-wide object, e.g. one of the show's layer pointers) to
    // `value` until the guard goes.
    template <class T, class U> void replace(T& object, U value) {
        restores.push_back([&object, saved = object] { object = saved; });
        object = value;
    }

  private:
    ptc::Console* savedConsole = ::console;
    ptc::Surface* savedOffscreen = ::offscreen;
    bool savedCentred = ::centred;
    Bitmap savedScreen = ::screen;
    std::uint32_t* savedWorkBufferA = ::workBufferA;
    std::uint32_t* savedWorkBufferB = ::workBufferB;
    LayerList* savedLayerList = ::layerList;
    std::int32_t savedMusicLevel = ::musicLevel;
    std::uint32_t savedRandomState = ::randomState;
    std::uint32_t savedFlowRandomState = ::flowRandomState;
    LoadingGaugeLayer* savedLoadingGauge = ::loadingGauge;
    std::vector<std::function<void()>> restores;
};

} // namespace showtest
