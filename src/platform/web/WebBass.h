#pragma once
// The browser's player (the BASS_* calls of platform/bass/Bass.h) plays a prepared timeline.

#include "music/MusicTimeline.h"

// Gives the player the timeline the next BASS_MusicLoad plays.
void webBassUseTimeline(MusicTimeline timeline);
