#pragma once
// Kept checkpoints compressed with zlib at its fastest level: the show's state shrinks 3 to 20
// times (black work buffers, idle layers' buffers, photographs least), in 25 to 70 ms, and comes
// back in 6 to 17 ms, so a checkpoint every 2 s of the first pass fits in about 250 MB.

#include "driver/ShowDriver.h"

// The packed form: the unpacked size (8 bytes, little-endian), then zlib's stream.
CheckpointPacking compressedCheckpoints();
