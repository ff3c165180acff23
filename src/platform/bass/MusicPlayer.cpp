#include "platform/bass/MusicPlayer.h"

#include <xmp.h>

#include <algorithm>
#include <cstring>

namespace {

xmp_context xmpOf(void* context) {
    return static_cast<xmp_context>(context);
}

std::string xmpErrorText(int code) {
    switch (-code) {
    case XMP_ERROR_FORMAT:
        return "unsupported module format";
    case XMP_ERROR_LOAD:
        return "corrupt or truncated module";
    case XMP_ERROR_DEPACK:
        return "cannot depack the file";
    case XMP_ERROR_SYSTEM:
        return std::strerror(xmp_syserrno());
    case XMP_ERROR_INVALID:
        return "invalid parameter";
    case XMP_ERROR_STATE:
        return "invalid player state";
    default:
        return "libxmp error " + std::to_string(code);
    }
}

// libxmp numbers notes from 1 = C-(-1); XM's C-0 is its 13. Key off, cut and fade are above 128.
constexpr int xmpNoteOfC0 = 13;
constexpr int lastXmpNote = 128;
constexpr uint32_t anyNote = 0xFFFF;

int magnitude(int16_t sample) {
    return sample < 0 ? -int(sample) : int(sample);
}

} // namespace

uint32_t peakLevel(const int16_t* interleaved, size_t frames) {
    int left = 0, right = 0;
    for (size_t i = 0; i < frames; ++i) {
        left = std::max(left, magnitude(interleaved[2 * i]));
        right = std::max(right, magnitude(interleaved[2 * i + 1]));
    }
    // 32768 * 128 / 32768 = 128 at most.
    return uint32_t(left * 128 / 32768) | uint32_t(right * 128 / 32768) << 16;
}

MusicPlayer::MusicPlayer() : context(xmp_create_context()), history(historyFrames * 2, 0) {}

MusicPlayer::~MusicPlayer() {
    if (isStarted)
        xmp_end_player(xmpOf(context));
    if (isLoaded)
        xmp_release_module(xmpOf(context));
    xmp_free_context(xmpOf(context));
}

bool MusicPlayer::loadFile(const std::string& path, std::string& error) {
    int result = xmp_load_module(xmpOf(context), path.c_str());
    if (result != 0) {
        error = xmpErrorText(result);
        return false;
    }
    isLoaded = true;
    return true;
}

bool MusicPlayer::loadMemory(const void* data, size_t size, std::string& error) {
    if (size > size_t(0x7FFFFFFF)) {
        error = "module too large";
        return false;
    }
    int result = xmp_load_module_from_memory(xmpOf(context), data, long(size));
    if (result != 0) {
        error = xmpErrorText(result);
        return false;
    }
    isLoaded = true;
    return true;
}

void MusicPlayer::setVolume(int newVolume) {
    volume = std::clamp(newVolume, 0, 200);
    if (isStarted)
        xmp_set_player(xmpOf(context), XMP_PLAYER_VOLUME, volume);
}

bool MusicPlayer::start(int rate, int startOrder, std::string& error) {
    if (!isLoaded) {
        error = "no module loaded";
        return false;
    }
    int result = xmp_start_player(xmpOf(context), rate, 0);
    if (result != 0) {
        error = xmpErrorText(result);
        return false;
    }
    isStarted = true;
    xmp_set_player(xmpOf(context), XMP_PLAYER_VOLUME, volume);
    xmp_module_info info;
    xmp_get_module_info(xmpOf(context), &info);
    channels = std::min(info.mod->chn, XMP_MAX_CHANNELS);
    if (startOrder > 0 && startOrder < info.mod->len)
        xmp_set_position(xmpOf(context), startOrder);
    silentTickFrames = std::max(1, rate / 50);
    return true;
}

double MusicPlayer::passSeconds() const {
    if (!isLoaded)
        return 0.0;
    xmp_module_info info;
    xmp_get_module_info(xmpOf(context), &info);
    if (info.num_sequences < 1 || info.seq_data == nullptr)
        return 0.0;
    return info.seq_data[0].duration / 1000.0;
}

int MusicPlayer::orderCount() const {
    if (!isLoaded)
        return 0;
    xmp_module_info info;
    xmp_get_module_info(xmpOf(context), &info);
    return info.mod ? info.mod->len : 0;
}

// Position syncs first, then the notes channel by channel; within each, registration order.
void MusicPlayer::emitRowSyncs(std::vector<ReachedSync>& reached) {
    xmp_frame_info info;
    xmp_get_frame_info(xmpOf(context), &info);
    if (info.frame != 0)
        return;
    uint32_t position = uint32_t(info.pos) | uint32_t(info.row) << 16;
    for (const SyncRegistration& sync : syncs) {
        if (sync.type == BASS_SYNC_POS && sync.param == position)
            reached.push_back({rendered, sync.handle, sync.proc, position, sync.user});
    }
    for (int channel = 0; channel < channels; ++channel) {
        const xmp_channel_info& state = info.channel_info[channel];
        int note = state.event.note;
        if (note < xmpNoteOfC0 || note > lastXmpNote)
            continue;
        // A note without an instrument number plays the channel's current instrument.
        int instrument = state.event.ins != 0 ? state.event.ins : state.instrument + 1;
        uint32_t noteIndex = uint32_t(note - xmpNoteOfC0);
        for (const SyncRegistration& sync : syncs) {
            if (sync.type != BASS_SYNC_INST || (sync.param & 0xFFFF) != uint32_t(instrument))
                continue;
            uint32_t wantedNote = sync.param >> 16;
            if (wantedNote == anyNote || wantedNote == noteIndex)
                reached.push_back(
                    {rendered, sync.handle, sync.proc, noteIndex | uint32_t(channel) << 16, sync.user});
        }
    }
}

void MusicPlayer::keepHistory(const int16_t* samples, size_t frames) {
    for (size_t i = 0; i < frames; ++i) {
        size_t slot = size_t((rendered + i) % historyFrames) * 2;
        history[slot] = samples[2 * i];
        history[slot + 1] = samples[2 * i + 1];
    }
}

void MusicPlayer::renderTick(std::vector<ReachedSync>& reached) {
    const int16_t* samples = nullptr;
    size_t frames = 0;
    if (isStarted && xmp_play_frame(xmpOf(context)) == 0) {
        emitRowSyncs(reached);
        xmp_frame_info info;
        xmp_get_frame_info(xmpOf(context), &info);
        samples = static_cast<const int16_t*>(info.buffer);
        frames = size_t(std::max(info.buffer_size, 0)) / 4;
    }
    // A player that cannot go on yields silence rather than stalling the stream.
    if (frames == 0) {
        pending.insert(pending.end(), size_t(silentTickFrames) * 2, 0);
        std::vector<int16_t> silence(size_t(silentTickFrames) * 2, 0);
        keepHistory(silence.data(), size_t(silentTickFrames));
        rendered += uint64_t(silentTickFrames);
        return;
    }
    pending.insert(pending.end(), samples, samples + frames * 2);
    keepHistory(samples, frames);
    rendered += frames;
}

void MusicPlayer::read(int16_t* out, size_t frames, std::vector<ReachedSync>& reached) {
    while (rendered - delivered < frames)
        renderTick(reached);
    size_t count = frames * 2;
    if (out != nullptr)
        std::memcpy(out, pending.data() + pendingStart, count * sizeof(int16_t));
    pendingStart += count;
    delivered += frames;
    // Drop what was read once it outweighs what is left, so the buffer stays small.
    if (pendingStart > pending.size() / 2) {
        pending.erase(pending.begin(), pending.begin() + long(pendingStart));
        pendingStart = 0;
    }
}

uint32_t MusicPlayer::level(uint64_t end, size_t window) const {
    end = std::min(end, rendered);
    uint64_t oldest = rendered > historyFrames ? rendered - historyFrames : 0;
    uint64_t begin = end > window ? end - window : 0;
    begin = std::max(begin, oldest);
    int16_t frame[2];
    uint32_t left = 0, right = 0;
    for (uint64_t i = begin; i < end; ++i) {
        size_t slot = size_t(i % historyFrames) * 2;
        frame[0] = history[slot];
        frame[1] = history[slot + 1];
        uint32_t levels = peakLevel(frame, 1);
        left = std::max(left, levels & 0xFFFF);
        right = std::max(right, levels >> 16);
    }
    return left | right << 16;
}
