#pragma once
// The show's choreography: the cues that insert, remove and steer the layer instances.

#include "timeline/MusicCue.h"

// Adds every cue, position cues first, then instrument cues. Called once, after the module is
// loaded and before playback starts.
void registerCues(CueRegistry& cues);

// How many times the finale step (cues 48 and 49, at orders 49 and 51) has run.
extern int finaleCount;
