#include "driver/ShowDisplay.h"

#include "core/BandBalance.h"
#include "core/BandPool.h"
#include "core/ShowObjects.h"
#include "effects/LoadingGaugeLayer.h"
#include "show/ShowLayers.h"

ptc::Console* console = nullptr;
ptc::Surface* offscreen = nullptr;
bool centred = false;

// The copy to the console moves a whole frame every frame: its rows are split over the band pool.
// A console of another size than the one start-up opened takes the single copy, which says what
// is wrong.
void presentOffscreen() {
    const int left = centred ? 64 : 0, top = centred ? 48 : 0;
    bool framed = offscreen->width() == 512 && offscreen->height() == 384 &&
                  (centred ? console->width() >= 576 && console->height() >= 432
                           : console->width() == 512 && console->height() == 384);
    if (!framed && centred) {
        offscreen->copy(*console, ptc::Area(0, 0, 512, 384), ptc::Area(64, 48, 576, 432));
    } else if (!framed) {
        offscreen->copy(*console);
    } else {
        static BandBalance balance;
        balance.forEachBand(bandPool(), 384, [left, top](int firstRow, int endRow) {
            offscreen->copy(*console, ptc::Area(0, firstRow, 512, endRow),
                            ptc::Area(left, top + firstRow, left + 512, top + endRow));
        });
    }
    console->update();
}

void showProgress(double fraction) {
    // Only the pixel address is refreshed; width and height hold 512 x 384 from start-up.
    screen.pixels = static_cast<std::uint32_t*>(offscreen->lock());
    loadingGauge->render(screen, fraction);
    offscreen->unlock();
    presentOffscreen();
}
