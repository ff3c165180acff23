#pragma once
// The show's music as the player opens it, the same for the show and for the web preparation
// (which records the show's cues and sound offline): the module, its file and the player's
// settings, in the order the show sets them.

#include "platform/bass/Bass.h"

#include <string>

// The module's file in a data directory; the show reads it from Data/ below the working directory.
std::string showModulePath(const std::string& dataDirectory = "Data");

// Sets the volume, loads the module at `path`, then sets the amplification and the position
// scaler. The player is initialised and started. Throws ptc::DynamicError when the module does not
// load.
HMUSIC openShowMusic(const std::string& path);

// The mixer volume those settings give, for a recording of the module made without the player.
int showMixerVolume();
