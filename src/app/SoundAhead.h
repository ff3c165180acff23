#pragma once
// The sound of an offline run, rendered a few frames ahead on a thread of its own. What the
// player renders offline depends on nothing the pictures do (the cues come from the music's
// timeline, not from the player), so the next frames' sound is rendered while a frame is drawn,
// on the core the drawing leaves idle between its splits. The chunks are exactly the ones the
// frames would render for themselves, in the same order: chunk n is the sound up to frame n's
// time, rendered after chunk n - 1.

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class SoundAhead {
  public:
    // Appends the sound from where the last call ended up to `seconds`.
    using Render = std::function<void(double seconds, std::vector<std::int16_t>& samples)>;

    // Chunks for frames [firstFrame, lastFrame], frame n's at n / fps; at most `depth` ahead of
    // the one taken last. Depth 0 starts no thread: each take renders its own chunk, as a run on
    // one thread always did.
    SoundAhead(Render render, int fps, long firstFrame, long lastFrame, int depth = 8);
    // Stops the rendering (chunks not taken are dropped) and waits for the thread.
    ~SoundAhead();
    SoundAhead(const SoundAhead&) = delete;
    SoundAhead& operator=(const SoundAhead&) = delete;

    // Waits for the chunk of `frame`, the frame after the last one taken, and swaps it into
    // `samples` (whose old contents are dropped). Rethrows what stopped the rendering.
    void take(long frame, std::vector<std::int16_t>& samples);

  private:
    void renderChunks();

    Render render;
    const int fps;
    const long firstFrame;
    const long lastFrame;
    std::vector<std::vector<std::int16_t>> chunks; // frame n's in chunks[(n - firstFrame) % depth]

    std::mutex lock;
    std::condition_variable changed;
    long rendered; // the frame after the last chunk rendered
    long taken;    // the frame after the last chunk taken
    bool stopping = false;
    std::exception_ptr failure;
    std::thread thread; // none at depth 0
};
