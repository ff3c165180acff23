#pragma once
// The console backend that shows frames in a desktop window. The window has the console's size
// as its logical size, shown at an integer scale (or full screen at the desktop's mode); when it
// is resized the picture keeps its aspect with black borders. Any key press, and closing the
// window, count as a key. Where OpenGL is drawn by the processor (Mesa's llvmpipe in virtual
// machines, remote desktops, Xvfb), SDL's software renderer shows the frames for a third of the
// cost, unless SDL_RENDER_DRIVER names a renderer. Without a display the window is refused
// rather than drawn into memory, unless SDL_VIDEODRIVER names a driver.

#include "platform/ptc/ConsoleBackend.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ptc {

struct WindowOptions {
    // Window size = console size times this (1 or more).
    int scale = 2;
    // Full screen at the desktop's own mode instead of a window.
    bool fullscreen = false;
    // Present in step with the display's refresh, when the renderer can.
    bool vsync = false;
};

class WindowBackend : public ConsoleBackend {
public:
    explicit WindowBackend(const WindowOptions& options = {});
    ~WindowBackend() override;

    std::vector<Mode> modes() const override;
    void open(const std::string& title, int width, int height, const Format& format) override;
    void close() override;
    void present(const std::uint32_t* pixels, int width, int height) override;
    bool keyPressed() override;
    std::vector<Key> takeKeys() override;

    // Whether presents wait for the display's refresh (asked for, and offered by the renderer).
    bool presentsWithVsync() const;
    // The renderer that shows the frames, e.g. "software (instead of OpenGL on llvmpipe ...)" or
    // "opengl (Mesa Intel(R) UHD Graphics 620)"; "" before the window opens.
    std::string rendererName() const;
    // The refresh rate of the window's display in hertz, 0 when the display does not say.
    int refreshRate() const;

    // What the window shows now, drawn again from the last frame: outputWidth x outputHeight
    // pixels 0x00RRGGBB. For tests.
    std::vector<std::uint32_t> readBack(int& outputWidth, int& outputHeight);
    // Resizes the window (as a user dragging its border would). For tests.
    void resize(int windowWidth, int windowHeight);
    // Queues a key press or a request to close the window, as the desktop would. For tests.
    void simulateKeyPress();
    // Queues a press of `key` (not Close), as the desktop would. For tests.
    void simulateKeyPress(Key key);
    void simulateClose();

private:
    void startVideo();

    struct State;
    std::unique_ptr<State> state;
};

std::unique_ptr<ConsoleBackend> makeWindowBackend(const WindowOptions& options = {});

} // namespace ptc
