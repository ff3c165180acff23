#pragma once
// The web build's preparation, run natively: what the browser cannot make itself. Pictures go
// through the project's own loader and leave as lossless PNG files with the hash of the pixels
// the loader gave; the music goes through the project's player, offline, and leaves as its audio
// (first pass, then one turn of the loop) and its timeline of syncs and levels.

#include "music/MusicTimeline.h"
#include "platform/bass/TimelineRecorder.h"

#include <cstdint>
#include <string>
#include <vector>

struct PreparedFile {
    std::string name; // under the site's data/ folder
    std::string kind; // "picture", "timeline" or "music"
    std::string source; // the show's own name for a picture ("x1.jpg"), else empty
    std::uint64_t bytes = 0;
};

// Every picture of `dataDirectory` (all files but the module) as data/<name>.png in
// `siteDirectory`, and data/pictures.txt: one line "<name> <hash>" per picture, the hash of the
// 32-bit pixels the native loader gives. DynamicError on a picture that does not load.
std::vector<PreparedFile> preparePictures(const std::string& dataDirectory, const std::string& siteDirectory);

// What the offline run of the player gives: the timeline and the audio of its first pass and one
// turn of the loop (interleaved 16-bit stereo at the timeline's rate).
struct PreparedMusic {
    MusicTimeline timeline;
    std::vector<std::int16_t> samples;
};

// Plays `modulePath` offline with the show's cues registered as the show registers them (their
// actions left out) and records every sync with its stamp and the level at every frame k / fps.
PreparedMusic prepareMusic(const std::string& modulePath, int fps);
