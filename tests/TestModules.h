#pragma once
// Small modules with known timing for the writer and player tests.

#include "datagen/XmWriter.h"

#include <cstdint>

namespace testmodules {

// One looped 8-bit square wave of 64 frames: 32 frames of +amplitude, 32 of -amplitude.
inline XmInstrument squareInstrument(int8_t amplitude, const char* name = "square") {
    XmSample sample;
    sample.name = name;
    for (int i = 0; i < 64; ++i)
        sample.data.push_back(i < 32 ? amplitude : int16_t(-amplitude));
    sample.loop = XmLoop::Forward;
    sample.loopLength = 64;
    XmInstrument instrument;
    instrument.name = name;
    instrument.samples.push_back(sample);
    return instrument;
}

// A note of `instrument` at the middle C of octave 4.
inline XmNote noteOf(int instrument) {
    XmNote note;
    note.note = XmNote::pitch(4, 0);
    note.instrument = uint8_t(instrument);
    return note;
}

// Speed 3 at 125 BPM: a tick is 882 frames at 44100 Hz (20 ms), a row 2646 frames (60 ms).
inline XmModule emptyModule(int channels = 2) {
    XmModule module;
    module.name = "test";
    module.channels = channels;
    module.speed = 3;
    module.bpm = 125;
    return module;
}

constexpr double rowSeconds = 0.06;
constexpr int framesPerTick = 882;

} // namespace testmodules
