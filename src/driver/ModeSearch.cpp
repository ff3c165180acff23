#include "driver/ModeSearch.h"

#include "platform/ptc/Console.h"

namespace {

constexpr int maxListLength = 256;

bool findSize(std::span<const ptc::Mode> modes, std::span<const ptc::Format> candidates, int width,
              int height, ptc::Format& found) {
    for (const ptc::Format& candidate : candidates) {
        for (const ptc::Mode& mode : modes) {
            if (!mode.valid())
                break;
            if (mode.width() == width && mode.height() == height && mode.format() == candidate) {
                found = candidate;
                return true;
            }
        }
    }
    return false;
}

} // namespace

ModeChoice searchMode(std::span<const ptc::Mode> modes, std::span<const ptc::Format> candidates,
                      const ptc::Format& fallback) {
    ModeChoice choice;
    choice.format = fallback;
    if (findSize(modes, candidates, 512, 384, choice.format))
        return choice;
    if (findSize(modes, candidates, 640, 480, choice.format)) {
        choice.width = 640;
        choice.height = 480;
        choice.centred = true;
    }
    return choice;
}

std::vector<ptc::Mode> readModeList(ptc::Console& console) {
    std::vector<ptc::Mode> modes;
    for (int index = 0; index < maxListLength; ++index) {
        modes.push_back(console.mode(index));
        if (!modes.back().valid())
            return modes;
    }
    // A list longer than we keep: its last kept entry becomes the end.
    modes.back() = ptc::Mode();
    return modes;
}
