#include "app/SoundAhead.h"

#include "platform/ptc/Error.h"

#include <algorithm>
#include <string>
#include <utility>

SoundAhead::SoundAhead(Render render, int fps, long firstFrame, long lastFrame, BandPool& pool, int depth)
    : render(std::move(render)), fps(fps), firstFrame(firstFrame), lastFrame(lastFrame),
      pool(depth > 0 && pool.threads() > 1 ? &pool : nullptr), chunks(std::size_t(std::max(depth, 1))),
      rendered(firstFrame), taken(firstFrame) {
    if (this->pool != nullptr)
        this->pool->addIdleWork(this);
}

SoundAhead::~SoundAhead() {
    if (pool != nullptr)
        pool->removeIdleWork(this);
}

std::vector<std::int16_t>& SoundAhead::chunkOf(long frame) {
    return chunks[std::size_t((frame - firstFrame) % long(chunks.size()))];
}

// A chunk's slot is free once the frame depth before it is taken; the slot is the renderer's until
// `rendered` passes it.
bool SoundAhead::runPiece() {
    std::unique_lock rendering(renderLock, std::try_to_lock);
    if (!rendering)
        return false;
    long frame;
    {
        std::lock_guard guard(lock);
        if (failure || rendered > lastFrame || rendered - taken >= long(chunks.size()))
            return false;
        frame = rendered;
    }
    try {
        renderChunk(frame);
    } catch (...) {
        std::lock_guard guard(lock);
        failure = std::current_exception();
    }
    return true;
}

void SoundAhead::renderChunk(long frame) {
    std::vector<std::int16_t>& chunk = chunkOf(frame);
    chunk.clear();
    render(double(frame) / fps, chunk);
    std::lock_guard guard(lock);
    rendered = frame + 1;
}

void SoundAhead::take(long frame, std::vector<std::int16_t>& samples) {
    std::unique_lock guard(lock);
    if (frame != taken || frame > lastFrame)
        throw ptc::DynamicError("sound: frame " + std::to_string(frame) + " asked for out of turn");
    if (rendered <= frame && !failure) {
        // Only this chunk can be missing (chunks go in order): it may be in a thread's hands now.
        // `rendered` and `failure` change only under renderLock.
        guard.unlock();
        {
            std::lock_guard rendering(renderLock);
            if (rendered <= frame && !failure)
                renderChunk(frame);
        }
        guard.lock();
    }
    if (rendered <= frame)
        std::rethrow_exception(failure);
    samples.clear();
    samples.swap(chunkOf(frame));
    taken = frame + 1;
}
