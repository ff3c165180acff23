#pragma once
// The show's state as a value. A checkpoint holds everything that a frame changes and a later
// frame reads, so that drawing on from a restored checkpoint gives, bit for bit, the frames of a
// run that never stopped:
//   - every layer instance's own members and buffers, those out of the list included (a layer
//     inserted again moves by the whole time it was out);
//   - the layer list's slots and depths;
//   - randomState, flowRandomState, the music level and the finale counter;
//   - the work buffers' contents and the screen's pixels (layers draw over the last frame);
//   - how far the cues have got in the music's timeline, and the next frame's number.
// What never changes after start-up is not copied: pictures, and the tables layers build when
// they are constructed.

#include "core/StateArchive.h"

#include <cstdint>
#include <vector>

class TimelineCursor;

struct Checkpoint {
    // The frame that follows the state: drawing resumes with it.
    long nextFrame = 0;
    std::vector<std::uint8_t> bytes;
};

// Saves or restores the show's state, as `archive` does; `cues` and `nextFrame` are the driver's
// part of it. The process-wide objects must be those of a show that has started up.
void archiveShowState(StateArchive& archive, TimelineCursor& cues, long& nextFrame);
