#pragma once
// The show's music as the player opens it, the same for the show and for the web preparation
// (which runs the player offline to record the show's cues and sound): the module, its file and
// the player's settings, in the order the show sets them.

#include "platform/bass/Bass.h"

#include <functional>
#include <string>

// The module's file in a data directory; the show reads it from Data/ below the working directory.
std::string showModulePath(const std::string& dataDirectory = "Data");

// Sets the volume, loads the module at `path`, lets `registerSyncs` register the syncs, then sets
// the amplification and the position scaler. The player is initialised and started. Throws
// ptc::DynamicError when the module does not load.
HMUSIC openShowMusic(const std::string& path, const std::function<void(HMUSIC)>& registerSyncs);
