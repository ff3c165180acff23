#pragma once
// The whole show: start-up, the loading screen, playback, the main loop and shutdown.

#include "main/CommandLine.h"

#include <functional>

namespace ptc {
class ConsoleBackend;
}

struct ShowHooks {
    // Called after every frame presented, the loading screens included (frame -1 while loading).
    std::function<void(ptc::ConsoleBackend& backend, long frame)> afterPresent;
};

// Runs the show as the options say. Returns the exit status: 0, or 1 after one line
// "velmora: <message>" on standard error.
int runShow(const ShowOptions& options, const ShowHooks& hooks = {});
