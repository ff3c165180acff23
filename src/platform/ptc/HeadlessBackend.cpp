#include "platform/ptc/HeadlessBackend.h"

namespace ptc {

std::vector<Mode> HeadlessBackend::standardModes() {
    return {Mode(512, 384, Format(32, 0xFF0000, 0x00FF00, 0x0000FF))};
}

HeadlessBackend::HeadlessBackend(FrameSink sink, std::vector<Mode> modes)
    : frameSink(std::move(sink)), modeList(std::move(modes)) {}

void HeadlessBackend::open(const std::string& title, int, int, const Format&) {
    openTitle = title;
    opened = true;
}

void HeadlessBackend::present(const std::uint32_t* pixels, int width, int height) {
    ++presented;
    if (frameSink)
        frameSink(pixels, width, height);
}

bool HeadlessBackend::keyPressed() {
    bool pressed = keyPending;
    keyPending = false;
    return pressed;
}

} // namespace ptc
