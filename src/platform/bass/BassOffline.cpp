// The offline output: no thread and no device; the caller renders the audio up to each frame's
// time, and that time is the clock. The same calls give the same samples, bit for bit.

#include "platform/bass/BassPlayer.h"

#include <algorithm>

using namespace bass;

size_t BASS_RenderOffline(double seconds, std::vector<int16_t>& samples) {
    Player& p = player();
    std::lock_guard lock(p.mutex);
    if (p.output != BassOutput::Offline || !p.music || !p.playing) {
        p.error = "no music playing offline";
        return 0;
    }
    if (!std::isfinite(seconds)) {
        p.error = "time is not finite";
        return 0;
    }
    p.offlineSeconds = std::max(p.offlineSeconds, seconds);
    renderTicksThrough(p, seconds);
    uint64_t target = frameAt(p, seconds);
    size_t frames = 0;
    if (target > p.music->readFrames()) {
        frames = size_t(target - p.music->readFrames());
        size_t start = samples.size();
        samples.resize(start + frames * 2);
        p.music->read(samples.data() + start, frames, p.reached);
    }
    p.offlineFrames = std::max(p.offlineFrames, target);
    queueReached(p);
    return frames;
}
