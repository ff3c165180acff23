#pragma once
// Choosing the display mode: 512 x 384 in the best candidate format the display offers, else
// 640 x 480 with the frame centred, else 512 x 384 in 32 bits all the same.

#include "platform/ptc/Format.h"
#include "platform/ptc/Mode.h"

#include <span>
#include <vector>

namespace ptc {
class Console;
}

struct ModeChoice {
    ptc::Format format;
    int width = 512;
    int height = 384;
    // The console is 640 x 480 and the 512 x 384 frame goes into its centre.
    bool centred = false;
};

// `modes` is read up to its first invalid entry. Each size is searched format by format, in the
// order of `candidates` (best first), so a better format wins over an earlier list position.
// `fallback` is the format used when no mode matches.
ModeChoice searchMode(std::span<const ptc::Mode> modes, std::span<const ptc::Format> candidates,
                      const ptc::Format& fallback);

// The console's mode list from index 0 up to and including the first invalid mode, at most 256
// entries (the last always invalid).
std::vector<ptc::Mode> readModeList(ptc::Console& console);
