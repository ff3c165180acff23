#pragma once
// A console backend without a display: every presented frame goes to a sink (nothing, numbered
// PNG files, or any function). No key is ever pressed unless `pressKey` says so.

#include "platform/ptc/ConsoleBackend.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ptc {

// Receives width x height pixels 0x00RRGGBB, rows packed; the memory is valid during the call.
using FrameSink = std::function<void(const std::uint32_t* pixels, int width, int height)>;

class HeadlessBackend : public ConsoleBackend {
public:
    // The list a headless console offers by default: 512 x 384 in 32 bits.
    static std::vector<Mode> standardModes();

    // An empty sink discards frames.
    explicit HeadlessBackend(FrameSink sink = {}, std::vector<Mode> modes = standardModes());

    std::vector<Mode> modes() const override { return modeList; }
    void open(const std::string& title, int width, int height, const Format& format) override;
    void close() override { opened = false; }
    void present(const std::uint32_t* pixels, int width, int height) override;
    bool keyPressed() override;

    // Makes the next key test report a key (for tests and for ending a headless run).
    void pressKey() { keyPending = true; }
    // Frames presented since construction.
    long frameCount() const { return presented; }
    const std::string& title() const { return openTitle; }

private:
    FrameSink frameSink;
    std::vector<Mode> modeList;
    std::string openTitle;
    bool opened = false;
    bool keyPending = false;
    long presented = 0;
};

} // namespace ptc
