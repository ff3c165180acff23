#pragma once
// One continuous run of a module from its start, recorded as the show's music timeline: every
// sync the player reaches with the frame it is stamped with, and the level at every frame time
// k / fps, over the first pass and one turn of the loop section (from the module's restart
// position). The recording has a player of its own, not the output's, so it can run on a worker
// thread while the show plays; a frame's syncs and level are then the same whatever the output
// does (a jump, a pause, a device that stops).

#include "music/MusicTimeline.h"

#include <cstdint>
#include <vector>

struct TimelineRequest {
    // The module file's bytes.
    const std::vector<std::uint8_t>* module = nullptr;
    // The syncs to record, in registration order; recorded syncs carry their handles.
    std::vector<TimelineRegistration> registrations;
    int rate = 44100;
    int fps = 60;
    // The mixer's volume, 0..200 (100 = unity), as the output's player sets it.
    int mixerVolume = 100;
    // When given, the run's audio (interleaved 16-bit stereo) up to the loop's end goes here.
    std::vector<std::int16_t>* samples = nullptr;
    // When given, the frame at which each order of the module first starts (its first row), or
    // noFrame for an order the run never plays.
    std::vector<std::uint64_t>* orderStarts = nullptr;
};

// DynamicError when the module does not load or its loop section's end is not found.
MusicTimeline recordTimeline(const TimelineRequest& request);

// The restart position (order) of an XM module, from its header; DynamicError if not an XM.
int xmRestartOrder(const std::vector<std::uint8_t>& module);
