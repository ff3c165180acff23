#pragma once
// A music cue: an event in the module (a pattern order and row, or an instrument being played)
// and the action to run when playback reaches it. The cue script hands its cues to a CueRegistry;
// the driver's registry passes them to the music player and runs each action on the main thread.

#include <functional>

struct MusicCue {
    enum class Kind { Position, Instrument };

    // The cue's number in the script (for the trace).
    int number = 0;
    Kind kind = Kind::Position;
    // Position cues: order and row. Instrument cues: the instrument in `instrument`.
    int order = 0;
    int row = 0;
    int instrument = 0;
    std::function<void()> action;

    static MusicCue position(int number, int order, int row, std::function<void()> action) {
        return {number, Kind::Position, order, row, 0, std::move(action)};
    }
    static MusicCue onInstrument(int number, int instrument, std::function<void()> action) {
        return {number, Kind::Instrument, 0, 0, instrument, std::move(action)};
    }
};

class CueRegistry {
public:
    // Registers one cue; cues of one event run in the order they were added.
    virtual void add(MusicCue cue) = 0;

protected:
    ~CueRegistry() = default;
};
