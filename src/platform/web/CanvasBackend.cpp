#include "platform/web/CanvasBackend.h"

#include <emscripten.h>

// The page's side: Module.canvas is the canvas, Module.keyPressed is set by its key handler. A
// copy of the show in a worker (drawing ahead, showing nothing) has no document to title.
EM_JS(void, canvasOpen, (const char* title, int width, int height), {
    const canvas = Module.canvas;
    canvas.width = width;
    canvas.height = height;
    if (typeof document !== "undefined")
        document.title = UTF8ToString(title);
});

// ImageData takes no view of shared memory (the build with threads has it): the frame goes
// through a copy of the page's own there.
EM_JS(void, canvasPut, (const std::uint8_t* rgba, int width, int height), {
    const context = Module.canvas.getContext("2d");
    const size = width * height * 4;
    let bytes = new Uint8ClampedArray(HEAPU8.buffer, rgba, size);
    if (typeof SharedArrayBuffer !== "undefined" && HEAPU8.buffer instanceof SharedArrayBuffer) {
        if (!Module.canvasCopy || Module.canvasCopy.length !== size)
            Module.canvasCopy = new Uint8ClampedArray(size);
        Module.canvasCopy.set(bytes);
        bytes = Module.canvasCopy;
    }
    context.putImageData(new ImageData(bytes, width, height), 0, 0);
});

EM_JS(int, canvasKeyPressed, (), { return Module.keyPressed ? 1 : 0; });

std::vector<ptc::Mode> CanvasBackend::modes() const {
    return {ptc::Mode(512, 384, ptc::Format(32, 0xFF0000, 0x00FF00, 0x0000FF))};
}

void CanvasBackend::open(const std::string& title, int width, int height, const ptc::Format&) {
    frame.assign(std::size_t(width) * height, 0);
    rgba.assign(frame.size() * 4, 255);
    canvasOpen(title.c_str(), width, height);
}

void CanvasBackend::present(const std::uint32_t* pixels, int width, int height) {
    std::size_t count = std::size_t(width) * height;
    frame.assign(pixels, pixels + count);
    if (!showing)
        return;
    rgba.resize(count * 4);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t c = pixels[i];
        rgba[4 * i] = std::uint8_t(c >> 16);
        rgba[4 * i + 1] = std::uint8_t(c >> 8);
        rgba[4 * i + 2] = std::uint8_t(c);
        rgba[4 * i + 3] = 255;
    }
    canvasPut(rgba.data(), width, height);
}

bool CanvasBackend::keyPressed() {
    return canvasKeyPressed() != 0;
}
