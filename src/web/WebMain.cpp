// The browser's entry points, called by the page's script (web/page.js) through the module that
// emscripten generates (velmora.js): the same driver as the native program, stepped by the page's
// animation frames instead of a loop.
//
//   velmora_open()            console on the canvas, the driver, the work buffers
//   velmora_gauge(f)          the loading gauge at f while the files download (needs Data/x1.jpg)
//   velmora_start()           checks the pictures, reads the timeline, the driver's start-up
//   velmora_play()            starts the music (the page's audio), or again after a pause
//   velmora_pause()           stops the music where it is
//   velmora_frame(k)          frame k at k / fps; 1 when a key has ended the show (a seek
//                             starts it again)
//   velmora_advance(k)        draws up to frame k (excluded) without showing it: a jump
//   velmora_keep_checkpoints(n)  keeps a checkpoint every n frames drawn in order, for seeks
//   velmora_seek(k)           makes k the next frame, as a run from the start has it: from the
//                             last kept checkpoint at or before it, drawing on without showing
//   velmora_prepared_frame()  the frame up to which seeks find a kept checkpoint
//   velmora_next_frame()      the frame the show draws next in order
//   velmora_checkpoint()      the show's state before the next frame into the checkpoint buffer
//                             (a copy of the show drawing ahead takes them); returns its size
//   velmora_checkpoint_bytes(n)  the checkpoint buffer, sized n bytes for the page to fill
//   velmora_restore()         the show's state from the checkpoint buffer: drawing on from it
//                             gives the frames of a run from the start
//   velmora_scene_count()     the scenes' first frames seen so far (a scene starts with a cue
//   velmora_scene_frame(i)    that inserts layers, as --stats counts them), in order
//   velmora_fps()             the show rate
//   velmora_loop_start()      where the music's loop section starts and ends, in seconds of the
//   velmora_loop_end()        prepared audio (after velmora_start)
//   velmora_frame_hash()      the hash of the last frame presented, for the check mode
//   velmora_end()             shutdown
//   velmora_use_threads(n)    draws on n threads where this build has them (at most its pool's
//                             size), else on one; returns the number it draws on
// A function that fails returns -1; velmora_error() says why in one line.

#include "capture/PixelHash.h"
#include "core/BandPool.h"
#include "core/ShowObjects.h"
#include "driver/FrameStats.h"
#include "driver/ShowDriver.h"
#include "image/PictureLoading.h"
#include "platform/ptc/Console.h"
#include "platform/ptc/Error.h"
#include "platform/web/CanvasBackend.h"
#include "platform/web/WebBass.h"

#include <emscripten.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>

namespace {

// The build with threads starts a fixed pool of web workers with the module: more band threads
// than that would each wait for a worker that the page's thread must first return to the browser
// to start. The plain build has no threads at all.
#ifdef VELMORA_WEB_THREADS_MAX
constexpr int drawingThreadsMax = VELMORA_WEB_THREADS_MAX;
#else
constexpr int drawingThreadsMax = 1;
#endif

struct Page {
    CanvasBackend* canvas = nullptr; // owned by the console
    std::unique_ptr<ptc::Console> console;
    std::unique_ptr<ShowDriver> driver;
    std::string error;
    bool ended = false;
    // A checkpoint on its way out to the page's script or in from it.
    std::vector<std::uint8_t> checkpoint;
    std::set<long> sceneStarts;
};

Page& page() {
    static Page instance;
    return instance;
}

template <class Work> int guarded(Work work) {
    try {
        return work();
    } catch (const std::exception& error) {
        page().error = error.what();
        return -1;
    }
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ptc::DynamicError(path + ": missing");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every picture as the show's loader gives it must hash as the native loader's did.
void checkPictures() {
    std::vector<std::uint8_t> text = readFile("Data/pictures.txt");
    std::istringstream list(std::string(text.begin(), text.end()));
    std::string name, expected;
    while (list >> name >> expected) {
        std::string path = "Data/" + name;
        std::unique_ptr<Bitmap> bitmap(loadBitmap(path.c_str()));
        std::uint64_t hash =
            pixelHash(bitmap->pixels, std::size_t(bitmap->width) * std::size_t(bitmap->height), 0xFFFFFFFF);
        delete[] bitmap->pixels;
        if (hashText(hash) != expected)
            throw ptc::DynamicError(path + ": damaged (its pixels are not the prepared ones)");
    }
}

} // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE int velmora_open() {
    return guarded([] {
        Page& p = page();
        auto canvas = std::make_unique<CanvasBackend>();
        p.canvas = canvas.get();
        p.console = std::make_unique<ptc::Console>(std::move(canvas));
        // The show rate is the one the music's timeline was prepared at (velmora_start).
        p.driver = std::make_unique<ShowDriver>(*p.console, ShowDriver::Settings{});
        return 0;
    });
}

EMSCRIPTEN_KEEPALIVE int velmora_gauge(double fraction) {
    return guarded([fraction] {
        page().driver->showGauge(fraction);
        return 0;
    });
}

EMSCRIPTEN_KEEPALIVE int velmora_start() {
    return guarded([] {
        Page& p = page();
        checkPictures();
        std::vector<std::uint8_t> bytes = readFile("Data/timeline.bin");
        MusicTimeline timeline = MusicTimeline::parse(bytes.data(), bytes.size(), "Data/timeline.bin");
        webBassUseTimeline(timeline);
        p.driver->useTimeline(std::move(timeline));
        p.driver->startUp();
        // The cues run from the first frame on: a scene starts with one that inserts layers.
        p.driver->cues().observe([](const MusicCue&, const std::vector<StackSlot>& stackBefore) {
            if (insertsLayers(stackBefore, stackSlots(*layerList)))
                page().sceneStarts.insert(page().driver->frameInHand());
        });
        return 0;
    });
}

EMSCRIPTEN_KEEPALIVE int velmora_play() {
    return guarded([] {
        page().driver->play();
        return 0;
    });
}

EMSCRIPTEN_KEEPALIVE int velmora_pause() {
    return guarded([] {
        page().driver->pauseMusic();
        return 0;
    });
}

EMSCRIPTEN_KEEPALIVE void velmora_show_frames(int show) {
    if (page().canvas)
        page().canvas->setShowing(show != 0);
}

EMSCRIPTEN_KEEPALIVE int velmora_frame(double frame) {
    return guarded([frame] {
        Page& p = page();
        if (p.ended)
            return 1;
        if (p.console->key()) {
            p.ended = true;
            return 1;
        }
        p.driver->drawFrame(long(frame));
        return 0;
    });
}

EMSCRIPTEN_KEEPALIVE int velmora_advance(double frame) {
    return guarded([frame] {
        page().driver->advanceTo(long(frame));
        return 0;
    });
}

EMSCRIPTEN_KEEPALIVE int velmora_keep_checkpoints(double spacing) {
    return guarded([spacing] {
        page().driver->keepCheckpoints(long(spacing));
        return 0;
    });
}

EMSCRIPTEN_KEEPALIVE int velmora_seek(double frame) {
    return guarded([frame] {
        Page& p = page();
        p.driver->seek(long(frame));
        p.console->forgetKey();
        p.ended = false;
        return 0;
    });
}

EMSCRIPTEN_KEEPALIVE double velmora_prepared_frame() {
    return page().driver ? double(page().driver->preparedFrame()) : 0.0;
}

EMSCRIPTEN_KEEPALIVE double velmora_next_frame() {
    return page().driver ? double(page().driver->frameInHand()) : 0.0;
}

EMSCRIPTEN_KEEPALIVE int velmora_checkpoint() {
    return guarded([] {
        Page& p = page();
        p.checkpoint = p.driver->checkpoint().bytes;
        return int(p.checkpoint.size());
    });
}

EMSCRIPTEN_KEEPALIVE std::uint8_t* velmora_checkpoint_bytes(double size) {
    std::vector<std::uint8_t>& buffer = page().checkpoint;
    buffer.resize(std::size_t(size));
    return buffer.data();
}

EMSCRIPTEN_KEEPALIVE int velmora_restore() {
    return guarded([] {
        Page& p = page();
        p.driver->restore(Checkpoint{0, std::move(p.checkpoint)});
        p.checkpoint.clear();
        p.console->forgetKey();
        p.ended = false;
        return 0;
    });
}

EMSCRIPTEN_KEEPALIVE int velmora_scene_count() {
    return int(page().sceneStarts.size());
}

EMSCRIPTEN_KEEPALIVE double velmora_scene_frame(int index) {
    const std::set<long>& starts = page().sceneStarts;
    if (index < 0 || std::size_t(index) >= starts.size())
        return -1;
    return double(*std::next(starts.begin(), index));
}

EMSCRIPTEN_KEEPALIVE int velmora_fps() {
    return page().driver ? page().driver->fps() : 60;
}

EMSCRIPTEN_KEEPALIVE double velmora_loop_start() {
    const MusicTimeline& timeline = page().driver->timeline();
    return double(timeline.loopStart) / timeline.rate;
}

EMSCRIPTEN_KEEPALIVE double velmora_loop_end() {
    const MusicTimeline& timeline = page().driver->timeline();
    return double(timeline.loopStart + timeline.loopFrames) / timeline.rate;
}

EMSCRIPTEN_KEEPALIVE const char* velmora_frame_hash() {
    static std::string text;
    const std::vector<std::uint32_t>& frame = page().canvas->lastFrame();
    text = hashText(pixelHash(frame.data(), frame.size()));
    return text.c_str();
}

EMSCRIPTEN_KEEPALIVE void velmora_end() {
    Page& p = page();
    if (p.driver && !p.ended)
        p.driver->shutDown();
    p.ended = true;
}

EMSCRIPTEN_KEEPALIVE int velmora_use_threads(int threads) {
    return guarded([threads] {
        setBandThreads(std::clamp(threads, 1, drawingThreadsMax));
        return bandPool().threads();
    });
}

EMSCRIPTEN_KEEPALIVE const char* velmora_error() {
    return page().error.c_str();
}

} // extern "C"
