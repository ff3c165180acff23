#pragma once
// The sound of an offline run, rendered a few frames ahead by the drawing threads while they wait
// for the next split. What the player renders offline depends on nothing the pictures do (the
// cues come from the music's timeline, not from the player), so the next frames' sound can be
// rendered while a frame is drawn. A thread of its own would take a core from the drawing in the
// middle of a split, and every thread of the split would wait for the one it stopped; the pool's
// threads render only when they have nothing to draw. The chunks are exactly the ones the frames
// would render for themselves, in the same order: chunk n is the sound up to frame n's time,
// rendered after chunk n - 1, one at a time.

#include "core/BandPool.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <vector>

class SoundAhead final : private IdleWork {
  public:
    // Appends the sound from where the last call ended up to `seconds`.
    using Render = std::function<void(double seconds, std::vector<std::int16_t>& samples)>;

    // Chunks for frames [firstFrame, lastFrame], frame n's at n / fps, rendered by the threads of
    // `pool` at most `depth` ahead of the one taken last. A pool of one thread, or depth 0, renders
    // nothing ahead: each take renders its own chunk, as a run on one thread always did. The pool
    // must outlive this.
    SoundAhead(Render render, int fps, long firstFrame, long lastFrame, BandPool& pool, int depth = 8);
    // Takes the rendering back from the pool (chunks not taken are dropped).
    ~SoundAhead();
    SoundAhead(const SoundAhead&) = delete;
    SoundAhead& operator=(const SoundAhead&) = delete;

    // The chunk of `frame`, the frame after the last one taken, swapped into `samples` (whose old
    // contents are dropped); rendered here if no thread has. Rethrows what stopped a rendering.
    void take(long frame, std::vector<std::int16_t>& samples);

  private:
    bool runPiece() override;
    // Renders chunk `frame`, the next one; the caller holds renderLock.
    void renderChunk(long frame);
    std::vector<std::int16_t>& chunkOf(long frame);

    Render render;
    const int fps;
    const long firstFrame;
    const long lastFrame;
    BandPool* pool; // null when nothing is rendered ahead
    std::vector<std::vector<std::int16_t>> chunks; // frame n's in chunks[(n - firstFrame) % depth]

    std::mutex renderLock; // held while a chunk is rendered
    std::mutex lock;       // for the fields below
    long rendered;         // the frame after the last chunk rendered
    long taken;            // the frame after the last chunk taken
    std::exception_ptr failure;
};
