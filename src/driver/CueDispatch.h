#pragma once
// The cue script's cues, each registered as a sync of the music (a type and a parameter, under a
// handle: its index + 1). The syncs come from the music's timeline, one continuous run of the
// player recorded with these registrations; the driver runs the syncs of a frame's time before it
// draws, so every action runs on the main thread between frames. With tracing on, each action is
// followed by one line on standard output naming the cue and the layer stack it left.

#include "music/MusicTimeline.h"
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
    explicit CueDispatch(std::ostream* trace);
    void setTrace(std::ostream* lines) { trace = lines; }

    void add(MusicCue cue) override;

    // Every cue's sync, in registration order: what a timeline is recorded with.
    std::vector<TimelineRegistration> registrations() const;

    // Runs the action of the cue registered under `handle` (nothing for an unknown handle).
    void runSync(std::uint32_t handle);

    // Told of every action that ran, with the stack of the layer list before it (for --stats).
    using Observer = std::function<void(const MusicCue& cue, const std::vector<StackSlot>& stackBefore)>;
    void observe(Observer observer) { this->observer = std::move(observer); }

    // The sync type (BASS_SYNC_POS or BASS_SYNC_INST) and parameter of a cue's event.
    static std::uint32_t syncType(const MusicCue& cue);
    static std::uint32_t syncParameter(const MusicCue& cue);

    // "cue 6 @ 1:56" or "cue 50 @ inst 33".
    static std::string eventText(const MusicCue& cue);

private:
    void run(const MusicCue& cue);

    std::ostream* trace;
    Observer observer;
    std::deque<MusicCue> cues;
};

// Every non-empty slot from first to last as "name:depth", separated by spaces.
std::string describeStack(const LayerList& list);
