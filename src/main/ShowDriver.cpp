#include "main/ShowDriver.h"

#include "core/Random.h"
#include "core/ShowObjects.h"
#include "effects/ParticleFlowLayer.h"
#include "main/FrameStats.h"
#include "main/ModeSearch.h"
#include "main/MusicLevel.h"
#include "platform/bass/Bass.h"
#include "platform/ptc/Error.h"
#include "show/CueScript.h"
#include "show/ShowAssets.h"
#include "show/ShowDisplay.h"
#include "timeline/LayerList.h"

#include <ostream>
#include <string>

namespace {

constexpr const char* showTitle = "the ceaseless velmora voyage";

} // namespace

ShowDriver::ShowDriver(ptc::Console& showConsole, const Settings& showSettings)
    : console(showConsole), settings(showSettings) {
    const ptc::Format format32(32, 0xFF0000, 0x00FF00, 0x0000FF);
    const ptc::Format format24(24, 0xFF0000, 0x00FF00, 0x0000FF);
    const ptc::Format format565(16, 0xF800, 0x07E0, 0x001F);
    const ptc::Format format555(16, 0x7C00, 0x03E0, 0x001F);
    const ptc::Format candidates[] = {format32, format24, format565, format555};

    // A show started again in the same process (a test, or a page that plays it once more)
    // draws the same random numbers as the first.
    randomState = initialRandomState;
    flowRandomState = initialFlowRandomState;
    ::console = &console;
    std::vector<ptc::Mode> modes = readModeList(console);
    // Zeroed: layers that accumulate in them (glows that fade per frame) start from black, and a
    // show started again in the same process starts as the first did.
    bufferA.reset(new std::uint32_t[workBufferWords]());
    bufferB.reset(new std::uint32_t[workBufferWords]());
    workBufferA = bufferA.get();
    workBufferB = bufferB.get();
    ModeChoice choice = searchMode(modes, candidates, format32);
    centred = choice.centred;
    screen = Bitmap();
    screen.width = 512;
    screen.height = 384;
    console.open(showTitle, choice.width, choice.height, choice.format, 0);
    offscreenSurface = std::make_unique<ptc::Surface>(512, 384, format32);
    offscreen = offscreenSurface.get();
}

ShowDriver::~ShowDriver() {
    shutDown();
}

void ShowDriver::startUp(const std::function<void()>& afterGauge) {
    if (!BASS_Init(-1, sampleRate, 0, nullptr) && !BASS_Init(-2, sampleRate, 0, nullptr))
        throw ptc::DynamicError("Can't initialize device");
    playerStarted = true;
    if (!BASS_Start())
        throw ptc::DynamicError("Player failed.. too bad.");

    ProgressDisplay progress = [&afterGauge](double fraction) {
        showProgress(fraction);
        if (afterGauge)
            afterGauge();
    };
    runLoadingPhase(progress);
    if (BASS_GetVersion() != 0x80000)
        throw ptc::DynamicError("BASS version 0.8 was not loaded");
    runConstructionPhase(progress);

    BASS_SetVolume(100);
    music = BASS_MusicLoad(false, moduleFile, 0, 0, 261);
    if (music == 0)
        throw ptc::DynamicError(std::string("cannot load music module ") + moduleFile + ": " + BASS_GetErrorText());
    cueDispatch = std::make_unique<CueDispatch>(music, settings.trace);
    registerCues(*cueDispatch);
    if (settings.startOrder > 0) {
        // A player that does not know the order list (0) plays what it is given.
        int orders = BASS_MusicGetOrderCount(music);
        if (orders > 0 && settings.startOrder >= orders)
            throw ptc::DynamicError("--start " + std::to_string(settings.startOrder) + ": the music has " +
                                    std::to_string(orders) + " orders (0 to " + std::to_string(orders - 1) + ")");
        // A frame after each cue, as playing would have drawn: layers that act on their first
        // frame (the warp retiring the terrain) do so before the next cue.
        cueDispatch->runPositionCuesBefore(settings.startOrder, [this] { drawStack(0.0, nullptr); });
        BASS_SetStartOrder(settings.startOrder);
    }
    BASS_MusicSetAmplify(music, 75);
    progress(1.0);
    BASS_MusicSetPositionScaler(music, 256);
}

void ShowDriver::play() {
    BASS_MusicPlay(music);
}

double ShowDriver::passSeconds() const {
    return BASS_MusicGetPassSeconds(music);
}

void ShowDriver::drawFrame(long frame, FrameStats* timing) {
    drawAt(frameTime(frame), timing);
}

void ShowDriver::drawAt(double seconds, FrameStats* timing) {
    musicLevel = levelSum(BASS_ChannelGetLevelAt(music, seconds));
    BASS_RunSyncs(seconds);
    drawStack(seconds, timing);
    presentOffscreen();
}

// Draws the layer stack into the off-screen surface; `timing` takes the layers' times.
void ShowDriver::drawStack(double seconds, FrameStats* timing) {
    screen.pixels = static_cast<std::uint32_t*>(offscreen->lock());
    screen.width = offscreen->width();
    screen.height = offscreen->height();
    // The warp is the one layer that edits the list while it draws; the trace shows its work.
    std::string stackBefore = settings.trace ? describeStack(*layerList) : std::string();
    if (timing)
        renderAllTimed(*layerList, screen, seconds, *timing);
    else
        layerList->renderAll(screen, seconds);
    if (settings.trace) {
        std::string stackAfter = describeStack(*layerList);
        if (stackAfter != stackBefore)
            *settings.trace << "warp | " << stackAfter << "\n" << std::flush;
    }
    offscreen->unlock();
}

void ShowDriver::shutDown() {
    if (music != 0)
        BASS_ChannelStop(music);
    music = 0;
    if (playerStarted)
        BASS_Free();
    playerStarted = false;
    cueDispatch.reset();
    if (::console == &console) {
        ::console = nullptr;
        offscreen = nullptr;
        workBufferA = nullptr;
        workBufferB = nullptr;
    }
}
