#include "app/SoundAhead.h"

#include "core/QuietThreadStart.h"
#include "platform/ptc/Error.h"

#include <algorithm>
#include <string>
#include <utility>

SoundAhead::SoundAhead(Render render, int fps, long firstFrame, long lastFrame, int depth)
    : render(std::move(render)), fps(fps), firstFrame(firstFrame), lastFrame(lastFrame),
      chunks(std::size_t(std::max(depth, 1))), rendered(firstFrame), taken(firstFrame) {
    if (depth <= 0)
        return;
    QuietThreadStart quiet; // a request to stop is the drawing thread's to see
    thread = std::thread([this] { renderChunks(); });
}

SoundAhead::~SoundAhead() {
    {
        std::lock_guard guard(lock);
        stopping = true;
    }
    changed.notify_all();
    if (thread.joinable())
        thread.join();
}

void SoundAhead::renderChunks() {
    const long depth = long(chunks.size());
    for (long frame = firstFrame; frame <= lastFrame; ++frame) {
        std::vector<std::int16_t>* chunk;
        {
            std::unique_lock guard(lock);
            // With every slot full, the thread sleeps until half of them are taken: it wakes once
            // for a run of chunks, not once a frame, and takes a drawing thread's core that seldom.
            if (frame - taken >= depth)
                changed.wait(guard, [&] { return stopping || frame - taken <= depth / 2; });
            if (stopping)
                return;
            chunk = &chunks[std::size_t((frame - firstFrame) % depth)];
        }
        // The slot is this thread's until `rendered` passes it.
        try {
            chunk->clear();
            render(double(frame) / fps, *chunk);
        } catch (...) {
            std::lock_guard guard(lock);
            failure = std::current_exception();
            changed.notify_all();
            return;
        }
        {
            std::lock_guard guard(lock);
            rendered = frame + 1;
        }
        changed.notify_all();
    }
}

void SoundAhead::take(long frame, std::vector<std::int16_t>& samples) {
    std::unique_lock guard(lock);
    if (frame != taken || frame > lastFrame)
        throw ptc::DynamicError("sound: frame " + std::to_string(frame) + " asked for out of turn");
    if (!thread.joinable()) {
        samples.clear();
        render(double(frame) / fps, samples);
        taken = frame + 1;
        return;
    }
    changed.wait(guard, [&] { return rendered > frame || failure; });
    if (rendered <= frame)
        std::rethrow_exception(failure);
    samples.swap(chunks[std::size_t((frame - firstFrame) % long(chunks.size()))]);
    taken = frame + 1;
    bool roomEnough = rendered - taken == long(chunks.size()) / 2;
    guard.unlock();
    if (roomEnough)
        changed.notify_all();
}
