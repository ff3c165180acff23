#pragma once
// The whole show: start-up, the loading screen, playback, the main loop and shutdown.

#include "app/CommandLine.h"

#include <functional>
#include <memory>

namespace ptc {
class ConsoleBackend;
}

struct ShowHooks {
    // Replaces the console's backend (the window, or the headless one of an offline run).
    std::function<std::unique_ptr<ptc::ConsoleBackend>()> makeBackend;
    // Called after every frame presented, the loading screens included (frame -1 while loading).
    std::function<void(ptc::ConsoleBackend& backend, long frame)> afterPresent;
};

// Runs the show as the options say. Returns the exit status: 0, or 1 after one line
// "velmora: <message>" on standard error.
int runShow(const ShowOptions& options, const ShowHooks& hooks = {});
