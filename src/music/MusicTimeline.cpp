#include "music/MusicTimeline.h"

#include "platform/ptc/Error.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr char magic[4] = {'V', 'M', 'T', 'L'};
constexpr std::uint32_t version = 1;

void putU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void putU64(std::vector<std::uint8_t>& out, std::uint64_t value) {
    putU32(out, static_cast<std::uint32_t>(value));
    putU32(out, static_cast<std::uint32_t>(value >> 32));
}

class Reader {
public:
    Reader(const std::uint8_t* bytes, std::size_t size, const std::string& name)
        : bytes(bytes), size(size), name(name) {}

    std::uint32_t u32() {
        need(4);
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = value << 8 | bytes[at + i];
        at += 4;
        return value;
    }
    std::uint64_t u64() {
        std::uint64_t low = u32();
        return low | std::uint64_t(u32()) << 32;
    }
    // A count of records of `recordBytes` each, no more than the bytes left can hold.
    std::uint32_t count(std::size_t recordBytes) {
        std::uint32_t n = u32();
        if (n > (size - at) / recordBytes)
            fail("a count runs past the end");
        return n;
    }
    void expectMagic() {
        need(4);
        if (std::memcmp(bytes, magic, 4) != 0)
            fail("not a timeline");
        at = 4;
    }
    bool atEnd() const { return at == size; }
    [[noreturn]] void fail(const std::string& why) const {
        throw ptc::DynamicError(name + ": damaged timeline (" + why + ")");
    }

private:
    void need(std::size_t n) const {
        if (size - at < n)
            fail("cut short");
    }

    const std::uint8_t* bytes;
    std::size_t size;
    std::size_t at = 0;
    const std::string& name;
};

} // namespace

std::vector<std::uint8_t> MusicTimeline::serialise() const {
    std::vector<std::uint8_t> out(magic, magic + 4);
    putU32(out, version);
    putU32(out, rate);
    putU32(out, fps);
    putU64(out, loopStart);
    putU64(out, loopFrames);
    putU32(out, static_cast<std::uint32_t>(registrations.size()));
    for (const TimelineRegistration& r : registrations) {
        putU32(out, r.handle);
        putU32(out, r.type);
        putU32(out, r.parameter);
    }
    putU32(out, static_cast<std::uint32_t>(syncs.size()));
    for (const TimelineSync& s : syncs) {
        putU64(out, s.frame);
        putU32(out, s.handle);
        putU32(out, s.data);
    }
    putU32(out, static_cast<std::uint32_t>(levels.size()));
    for (std::uint32_t level : levels)
        putU32(out, level);
    return out;
}

MusicTimeline MusicTimeline::parse(const std::uint8_t* bytes, std::size_t size, const std::string& name) {
    Reader in(bytes, size, name);
    in.expectMagic();
    if (in.u32() != version)
        in.fail("unknown version");
    MusicTimeline t;
    t.rate = in.u32();
    t.fps = in.u32();
    t.loopStart = in.u64();
    t.loopFrames = in.u64();
    if (t.rate == 0 || t.fps == 0)
        in.fail("rate or frame rate is 0");
    t.registrations.resize(in.count(12));
    for (TimelineRegistration& r : t.registrations)
        r = {in.u32(), in.u32(), in.u32()};
    t.syncs.resize(in.count(16));
    for (TimelineSync& s : t.syncs) {
        s.frame = in.u64();
        s.handle = in.u32();
        s.data = in.u32();
    }
    t.levels.resize(in.count(4));
    for (std::uint32_t& level : t.levels)
        level = in.u32();
    if (!in.atEnd())
        in.fail("bytes after the end");
    std::uint64_t end = t.loopStart + t.loopFrames;
    for (std::size_t i = 0; i < t.syncs.size(); ++i) {
        if (t.syncs[i].frame >= end && t.loopFrames > 0)
            in.fail("a sync after the loop's end");
        if (i > 0 && t.syncs[i].frame < t.syncs[i - 1].frame)
            in.fail("syncs out of order");
    }
    if (t.levels.empty())
        in.fail("no levels");
    return t;
}

TimelineCursor::TimelineCursor(const MusicTimeline& timeline) : timeline(timeline) {
    const std::vector<TimelineSync>& syncs = timeline.syncs;
    firstLoopSync = std::lower_bound(syncs.begin(), syncs.end(), timeline.loopStart,
                                     [](const TimelineSync& s, std::uint64_t frame) { return s.frame < frame; }) -
                    syncs.begin();
}

void TimelineCursor::runDue(double seconds,
                            const std::function<void(const TimelineSync& sync, std::uint64_t frame)>& run) {
    const std::vector<TimelineSync>& syncs = timeline.syncs;
    for (;;) {
        if (next == syncs.size()) {
            // Another turn of the loop, if it has syncs at all.
            if (timeline.loopFrames == 0 || firstLoopSync == syncs.size())
                return;
            next = firstLoopSync;
            ++turn;
        }
        const TimelineSync& sync = syncs[next];
        std::uint64_t frame = sync.frame + turn * timeline.loopFrames;
        // The same comparison as the native player's queue.
        if (!(double(frame) / timeline.rate <= seconds))
            return;
        ++next;
        run(sync, frame);
    }
}

std::uint32_t TimelineCursor::levelAt(double seconds) const {
    const std::vector<std::uint32_t>& levels = timeline.levels;
    if (!(seconds >= 0.0))
        return levels.front();
    double index = std::nearbyint(seconds * timeline.fps);
    if (index < double(levels.size()))
        return levels[std::size_t(index)];
    if (timeline.loopFrames == 0)
        return levels.back();
    // Later turns: the same place in the prepared turn.
    double loopStart = double(timeline.loopStart) / timeline.rate;
    double loopLength = double(timeline.loopFrames) / timeline.rate;
    double place = loopStart + std::fmod(seconds - loopStart, loopLength);
    index = std::min(std::nearbyint(place * timeline.fps), double(levels.size() - 1));
    return levels[std::size_t(index)];
}

void TimelineCursor::archiveState(StateArchive& archive) {
    std::uint64_t nextSync = next;
    archive(nextSync, turn);
    if (nextSync > timeline.syncs.size())
        throw ptc::DynamicError("checkpoint: the cue position lies past the music's timeline");
    next = std::size_t(nextSync);
}
