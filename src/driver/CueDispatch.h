#pragma once
// The cue script's cues registered with the music player. The player queues each sync it
// reaches and the main loop runs the queue before drawing (BASS_RunSyncs), so every action runs
// on the main thread between frames. With tracing on, each action is followed by one line on
// standard output naming the cue and the layer stack it left.

#include "platform/bass/Bass.h"
#include "timeline/MusicCue.h"

#include <deque>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

class LayerList;
struct StackSlot;

class CueDispatch final : public CueRegistry {
public:
    // `trace` receives the trace lines, or is null for none.
    CueDispatch(HMUSIC music, std::ostream* trace);
    ~CueDispatch();

    void add(MusicCue cue) override;

    // Runs, in registration order, the action of every position cue placed before `order`: the
    // state the show would have reached by playing up to there (instrument cues are skipped).
    // `afterEach` runs after every action (the driver draws a frame there).
    void runPositionCuesBefore(int order, const std::function<void()>& afterEach = {});

    // Told of every action that ran, with the stack of the layer list before it (for --stats).
    using Observer = std::function<void(const MusicCue& cue, const std::vector<StackSlot>& stackBefore)>;
    void observe(Observer observer) { this->observer = std::move(observer); }

    // The player's sync type and parameter for a cue's event.
    static std::uint32_t syncType(const MusicCue& cue);
    static std::uint32_t syncParameter(const MusicCue& cue);

    // "cue 6 @ 1:56" or "cue 50 @ inst 33".
    static std::string eventText(const MusicCue& cue);

private:
    static void runSync(HSYNC handle, std::uint32_t channel, std::uint32_t data, std::uint32_t user);
    void run(const MusicCue& cue);

    HMUSIC music;
    std::ostream* trace;
    Observer observer;
    // Never moves an element once added: the player's user value is the index.
    std::deque<MusicCue> cues;
};

// Every non-empty slot from first to last as "name:depth", separated by spaces.
std::string describeStack(const LayerList& list);
