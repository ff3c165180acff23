#include "driver/ShowDisplay.h"

#include "core/ShowObjects.h"
#include "effects/LoadingGaugeLayer.h"
#include "show/ShowLayers.h"

ptc::Console* console = nullptr;
ptc::Surface* offscreen = nullptr;
bool centred = false;

void presentOffscreen() {
    if (centred)
        offscreen->copy(*console, ptc::Area(0, 0, 512, 384), ptc::Area(64, 48, 576, 432));
    else
        offscreen->copy(*console);
    console->update();
}

void showProgress(double fraction) {
    // Only the pixel address is refreshed; width and height hold 512 x 384 from start-up.
    screen.pixels = static_cast<std::uint32_t*>(offscreen->lock());
    loadingGauge->render(screen, fraction);
    offscreen->unlock();
    presentOffscreen();
}
