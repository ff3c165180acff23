#include "platform/bass/TimelineRecorder.h"

#include "platform/bass/MusicPlayer.h"
#include "platform/ptc/Error.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

constexpr int levelWindowMilliseconds = 20;

// The audio frame that ends frame k's level window: llround(k / fps * rate), as the output's
// player rounds a frame's time.
std::uint64_t levelEnd(long frame, int fps, int rate) {
    return std::uint64_t(std::llround(double(frame) / fps * rate));
}

int xmSongLength(const std::vector<std::uint8_t>& module) {
    xmRestartOrder(module);
    return module[64] | module[65] << 8;
}

} // namespace

int xmRestartOrder(const std::vector<std::uint8_t>& module) {
    // "Extended Module: " (17), name (20), 0x1A, tracker (20), version (2), header size (4),
    // song length (2), restart position (2).
    static const char id[] = "Extended Module: ";
    if (module.size() < 80 || !std::equal(id, id + 17, module.begin()))
        throw ptc::DynamicError("not an XM module");
    int length = module[64] | module[65] << 8;
    int restart = module[66] | module[67] << 8;
    return restart < length ? restart : 0;
}

MusicTimeline recordTimeline(const TimelineRequest& request) {
    const std::vector<std::uint8_t>& module = *request.module;
    int restart = xmRestartOrder(module);
    MusicPlayer player;
    std::string error;
    if (!player.loadMemory(module.data(), module.size(), error))
        throw ptc::DynamicError("cannot load the music module: " + error);

    MusicTimeline timeline;
    timeline.rate = std::uint32_t(request.rate);
    timeline.fps = std::uint32_t(request.fps);
    timeline.registrations = request.registrations;
    HSYNC loopMark = 0;
    for (const TimelineRegistration& sync : request.registrations) {
        player.addSync({sync.handle, sync.type, sync.parameter, nullptr, 0});
        loopMark = std::max(loopMark, sync.handle + 1);
    }
    // One more sync: the start of the loop section, reached once in the first pass when it is not
    // order 0 and once per turn after.
    player.addSync({loopMark, BASS_SYNC_POS, std::uint32_t(restart), nullptr, 0});
    // And the first row of every order, for the frames where orders start.
    HSYNC firstOrderMark = loopMark + 1;
    int orders = request.orderStarts ? xmSongLength(module) : 0;
    for (int order = 0; order < orders; ++order)
        player.addSync({firstOrderMark + HSYNC(order), BASS_SYNC_POS, std::uint32_t(order), nullptr, 0});
    if (request.orderStarts)
        request.orderStarts->assign(std::size_t(orders), noFrame);
    player.setVolume(request.mixerVolume);
    if (!player.start(request.rate, 0, error))
        throw ptc::DynamicError("cannot play the music module: " + error);

    // The first pass ends at the loop mark nearest to where the loader says the pass ends.
    std::uint64_t passEstimate = std::uint64_t(std::llround(std::max(player.passSeconds(), 0.0) * request.rate));
    std::uint64_t limit = passEstimate * 3 + std::uint64_t(60) * std::uint64_t(request.rate);
    std::size_t levelWindow = std::size_t(request.rate * levelWindowMilliseconds / 1000);
    std::uint64_t passEnd = 0, loopEnd = 0;
    long nextLevel = 0;
    std::vector<ReachedSync> reached;
    while (loopEnd == 0) {
        std::uint64_t tickStart = player.renderedFrames();
        if (tickStart > limit)
            throw ptc::DynamicError("the music's loop section does not end");
        reached.clear();
        player.renderTick(reached);
        for (const ReachedSync& sync : reached) {
            if (sync.handle >= firstOrderMark) {
                std::uint64_t& start = (*request.orderStarts)[sync.handle - firstOrderMark];
                start = std::min(start, sync.frame);
                continue;
            }
            if (sync.handle != loopMark) {
                timeline.syncs.push_back({sync.frame, sync.handle, sync.data});
                continue;
            }
            if (passEnd == 0 && sync.frame > 0 && sync.frame + std::uint64_t(request.rate / 2) >= passEstimate)
                passEnd = sync.frame;
            else if (passEnd != 0 && sync.frame > passEnd)
                loopEnd = sync.frame;
        }
        // The levels whose window ends inside what is rendered, up to the loop's end.
        std::uint64_t levelLimit = loopEnd != 0 ? loopEnd : player.renderedFrames();
        while (levelEnd(nextLevel, request.fps, request.rate) < levelLimit) {
            timeline.levels.push_back(player.level(levelEnd(nextLevel, request.fps, request.rate), levelWindow));
            ++nextLevel;
        }
        // The audio is read as it is rendered, so the player keeps no more than a tick of it.
        std::size_t frames = std::size_t(player.renderedFrames() - player.readFrames());
        std::int16_t* out = nullptr;
        if (request.samples) {
            request.samples->resize(request.samples->size() + frames * 2);
            out = request.samples->data() + request.samples->size() - frames * 2;
        }
        player.read(out, frames, reached);
    }
    // The syncs of the loop's first row belong to the next turn.
    while (!timeline.syncs.empty() && timeline.syncs.back().frame >= loopEnd)
        timeline.syncs.pop_back();
    timeline.loopStart = passEnd;
    timeline.loopFrames = loopEnd - passEnd;
    if (request.samples)
        request.samples->resize(std::size_t(loopEnd) * 2);
    return timeline;
}
