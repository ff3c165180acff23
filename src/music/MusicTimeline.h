#pragma once
// What the browser plays instead of the module: the music's syncs and level, prepared by a native
// offline run of the player (velmora-webprep). The audio is a first pass, frames [0, loopStart),
// then the loop section [loopStart, loopStart + loopFrames), repeated forever.
//
// File layout, little-endian: "VMTL", version 1, rate, fps (u32 each); loopStart, loopFrames
// (u64); the registrations (u32 count, then handle, type, parameter as u32 each) in the order the
// show registered them; the syncs the player reached (u32 count, then frame as u64, handle and
// data as u32), in the order it reached them, over the first pass and one turn of the loop; the
// level at every frame k / fps up to the loop's end (u32 count, then the level words).

#include "core/StateArchive.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A frame number that no frame has: a sample position never reached.
constexpr std::uint64_t noFrame = ~std::uint64_t(0);

struct TimelineRegistration {
    std::uint32_t handle, type, parameter;
    bool operator==(const TimelineRegistration&) const = default;
};

struct TimelineSync {
    std::uint64_t frame; // in the audio stream, at `rate` frames per second
    std::uint32_t handle, data;
    bool operator==(const TimelineSync&) const = default;
};

struct MusicTimeline {
    std::uint32_t rate = 44100;
    std::uint32_t fps = 60;
    std::uint64_t loopStart = 0;
    std::uint64_t loopFrames = 0;
    std::vector<TimelineRegistration> registrations;
    std::vector<TimelineSync> syncs;
    std::vector<std::uint32_t> levels;

    std::vector<std::uint8_t> serialise() const;
    // DynamicError naming `name` when the bytes are not a whole, consistent timeline.
    static MusicTimeline parse(const std::uint8_t* bytes, std::size_t size, const std::string& name);
};

// Plays a timeline's syncs in order: the first pass once, then the loop's syncs on every turn,
// each turn offset by the loop's length.
class TimelineCursor {
public:
    explicit TimelineCursor(const MusicTimeline& timeline);

    // Hands every sync stamped at or before `seconds` (frame / rate <= seconds) to `run`, in
    // order, with its stamp in frames of the endless stream.
    void runDue(double seconds, const std::function<void(const TimelineSync& sync, std::uint64_t frame)>& run);

    // The level the native run saw at `seconds`, a frame time; after the prepared stretch the
    // loop's level at the same place in its turn.
    std::uint32_t levelAt(double seconds) const;

    // How far the cursor has got (checkpoints save and restore it).
    void archiveState(StateArchive& archive);

private:
    const MusicTimeline& timeline;
    std::size_t next = 0;
    std::size_t firstLoopSync = 0;
    std::uint64_t turn = 0;
};
