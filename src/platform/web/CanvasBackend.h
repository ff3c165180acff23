#pragma once
// The browser's console backend: each frame goes onto the page's 512 x 384 canvas (the page
// scales it with CSS); a key pressed on the page ends the show. Only in the WebAssembly build.

#include "platform/ptc/ConsoleBackend.h"

#include <cstdint>
#include <vector>

class CanvasBackend : public ptc::ConsoleBackend {
public:
    std::vector<ptc::Mode> modes() const override;
    void open(const std::string& title, int width, int height, const ptc::Format& format) override;
    void close() override {}
    void present(const std::uint32_t* pixels, int width, int height) override;
    bool keyPressed() override;

    // The last frame presented, 0x00RRGGBB (for the check mode's hashes).
    const std::vector<std::uint32_t>& lastFrame() const { return frame; }

    // Check mode draws without showing every frame.
    void setShowing(bool show) { showing = show; }

private:
    std::vector<std::uint32_t> frame;
    std::vector<std::uint8_t> rgba; // the canvas's byte order: R, G, B, A
    bool showing = true;
};
