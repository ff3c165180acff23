#pragma once
// The native program's recorder of the show's music timeline: the module player run from the
// start on the caller's thread, with the player's settings the show plays it with.

#include "driver/ShowDriver.h"

// Reads the module from Data/ below the working directory. DynamicError when it cannot be read
// or does not load.
RecordedMusic recordShowMusic(const std::vector<TimelineRegistration>& cues, int fps);
