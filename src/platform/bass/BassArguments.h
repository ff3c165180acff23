#pragma once
// The argument checks every implementation of the player's calls makes, the native player over
// libxmp and the browser's over a prepared timeline, so that both refuse the same calls with the
// same words. Each returns why an argument is refused, or an empty string.

#include "platform/bass/Bass.h"

#include <string>

namespace bass {

// What BASS_GetVersion reports.
constexpr uint32_t version = 0x80000;

inline std::string rateProblem(uint32_t freq) {
    if (freq < 8000 || freq > 48000)
        return "unsupported rate " + std::to_string(freq);
    return {};
}

inline std::string volumeProblem(uint32_t volume) {
    return volume > 100 ? "volume above 100" : "";
}

inline std::string amplifyProblem(uint32_t amplify) {
    return amplify > 100 ? "amplification above 100" : "";
}

inline std::string syncProblem(uint32_t type, SYNCPROC proc) {
    if (type != BASS_SYNC_POS && type != BASS_SYNC_INST)
        return "unknown sync type " + std::to_string(type);
    if (proc == nullptr)
        return "no sync action";
    return {};
}

} // namespace bass
