#pragma once
// One module rendered tick by tick by libxmp into a stream of 16-bit stereo frames, numbered
// from 0 at the start of playback. At the first tick of every row it reports the syncs of that
// row, stamped with the row's first frame. It keeps the recent frames for the level meter.
// Not thread-safe: the caller serialises every call.

#include "platform/bass/Bass.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SyncRegistration {
    HSYNC handle;
    uint32_t type;
    uint32_t param;
    SYNCPROC proc;
    uint32_t user;
};

// A sync the player reached: run proc(handle, music, data, user) once frame `frame` is heard.
struct ReachedSync {
    uint64_t frame;
    HSYNC handle;
    SYNCPROC proc;
    uint32_t data;
    uint32_t user;
};

// Peak level of frames: left | right << 16, each the largest magnitude * 128 / 32768.
uint32_t peakLevel(const int16_t* interleaved, size_t frames);

class MusicPlayer {
  public:
    MusicPlayer();
    ~MusicPlayer();
    MusicPlayer(const MusicPlayer&) = delete;
    MusicPlayer& operator=(const MusicPlayer&) = delete;

    // Loads a module; on failure returns false and sets `error` to libxmp's reason.
    bool loadFile(const std::string& path, std::string& error);
    bool loadMemory(const void* data, size_t size, std::string& error);

    void addSync(const SyncRegistration& sync) { syncs.push_back(sync); }

    // libxmp's master volume, 0..200 (100 = unity).
    void setVolume(int volume);

    // Starts rendering at `rate` frames per second from order `startOrder`.
    bool start(int rate, int startOrder, std::string& error);
    // Seconds of one pass through the order list, as the loader measured it (0 if unknown).
    double passSeconds() const;
    // Entries in the module's order list (0 if none is loaded).
    int orderCount() const;
    bool started() const { return isStarted; }

    // Frames rendered so far: the next tick starts at this frame.
    uint64_t renderedFrames() const { return rendered; }
    // Frames handed out by read() so far.
    uint64_t readFrames() const { return delivered; }

    // Renders one tick; its syncs are appended to `reached`.
    void renderTick(std::vector<ReachedSync>& reached);

    // Hands out the next `frames` frames (rendering ticks as needed) into `out` (interleaved
    // stereo, may be null to discard).
    void read(int16_t* out, size_t frames, std::vector<ReachedSync>& reached);

    // Level of the `window` frames that end at frame `end` (those still kept).
    uint32_t level(uint64_t end, size_t window) const;

  private:
    void emitRowSyncs(std::vector<ReachedSync>& reached);
    void keepHistory(const int16_t* samples, size_t frames);

    void* context; // xmp_context
    bool isLoaded = false;
    bool isStarted = false;
    int channels = 0;
    int volume = 100;
    std::vector<SyncRegistration> syncs;

    uint64_t rendered = 0;
    uint64_t delivered = 0;
    std::vector<int16_t> pending; // rendered, not yet read; starts at frame `delivered`
    size_t pendingStart = 0;      // samples of `pending` already read

    static constexpr size_t historyFrames = 1 << 16;
    std::vector<int16_t> history; // ring of the last historyFrames frames, by frame number
    int silentTickFrames = 882;
};
