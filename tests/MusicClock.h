#pragma once
// When each order of the generated show's module starts, reckoned from the composition, and
// whether this test binary was built with AddressSanitizer (which runs everything several times
// slower, so long renders draw fewer frames there).

#include "datagen/Composition.h"
#include "datagen/XmWriter.h"

#include <vector>

namespace showtest {

// Builds with AddressSanitizer run every program several times slower: their long render draws
// fewer frames a second over the same stretch of the show.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitizedBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool sanitizedBuild = true;
#else
constexpr bool sanitizedBuild = false;
#endif
#else
constexpr bool sanitizedBuild = false;
#endif

// When each order of the generated module starts, in seconds of playback. The module keeps one
// speed and tempo and never jumps, so every row lasts speed * 2.5 / bpm seconds; after the last
// order, playback goes on from the restart order.
class MusicClock {
public:
    explicit MusicClock(const XmModule& module)
        : rowSeconds(module.speed * 2.5 / module.bpm), restart(module.restartPosition) {
        double start = 0.0;
        for (std::uint8_t pattern : module.orders) {
            firstStarts.push_back(start);
            start += module.patterns.at(pattern).rows * rowSeconds;
        }
        passSeconds = start;
        loopSeconds = passSeconds - firstStarts.at(restart);
        for (const XmPattern& pattern : module.patterns)
            for (const XmNote& note : pattern.notes)
                if (changesTiming(note))
                    timingChanged = true;
    }

    // The start of the `visit`-th playing of `order`: 0 is the first pass, 1 the first loop.
    double orderStart(int order, int visit = 0) const {
        if (visit == 0)
            return firstStarts.at(order);
        return passSeconds + (visit - 1) * loopSeconds + firstStarts.at(order) - firstStarts.at(restart);
    }

    double rowSeconds;
    int restart;
    double passSeconds = 0.0;
    double loopSeconds = 0.0;
    bool timingChanged = false;

private:
    // Set speed or tempo, position jump, pattern break, pattern loop, pattern delay.
    static bool changesTiming(const XmNote& note) {
        int high = note.parameter >> 4;
        return note.effect == 0x0F || note.effect == 0x0B || note.effect == 0x0D ||
               (note.effect == 0x0E && (high == 6 || high == 14));
    }

    std::vector<double> firstStarts;
};

inline const MusicClock& showClock() {
    static const MusicClock clock(datagen::composeModule());
    return clock;
}


} // namespace showtest
