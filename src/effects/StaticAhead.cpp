#include "effects/StaticAhead.h"

#include "core/ScreenSize.h"

#include <algorithm>

static_assert(screenPixels % StaticAhead::pieceValues == 0, "a piece never spans two screens");

StaticAhead::StaticAhead(BandPool& pool, int frames)
    : pool(pool.threads() > 1 && frames > 0 ? &pool : nullptr) {
    if (this->pool == nullptr)
        return;
    greys.resize(static_cast<std::size_t>(frames) * screenPixels);
    stateAtScreenEnd.resize(static_cast<std::size_t>(frames));
    this->pool->addIdleWork(this);
}

StaticAhead::~StaticAhead() {
    if (pool != nullptr)
        pool->removeIdleWork(this);
}

bool StaticAhead::runPiece() {
    std::unique_lock guard(lock, std::try_to_lock);
    if (!guard || !started || rendered == capacity())
        return false;
    const int screens = static_cast<int>(stateAtScreenEnd.size());
    std::uint8_t* piece = greys.data() + (long{head} * screenPixels + rendered) % capacity();
    std::uint32_t state = renderedState;
    for (int i = 0; i < pieceValues; ++i)
        piece[i] = static_cast<std::uint8_t>(nextStaticGrey(state));
    renderedState = state;
    rendered += pieceValues;
    if (rendered % screenPixels == 0)
        stateAtScreenEnd[(head + rendered / screenPixels - 1) % screens] = state;
    if (rendered == capacity())
        refilling.store(false, std::memory_order_relaxed);
    return true;
}

StaticAhead::Ready StaticAhead::acquire(std::uint32_t state) {
    acquired = std::unique_lock(lock);
    if (!started || state != firstState || rendered == 0)
        return Ready{nullptr, 0, state};
    int count = static_cast<int>(std::min<long>(rendered, screenPixels));
    std::uint32_t after = rendered >= screenPixels ? stateAtScreenEnd[head] : renderedState;
    return Ready{greys.data() + long{head} * screenPixels, count, after};
}

void StaticAhead::release(std::uint32_t state) {
    bool moved = moveTo(state);
    acquired.unlock();
    if (moved && pool != nullptr)
        pool->wakeForIdleWork();
}

void StaticAhead::expect(std::uint32_t state) {
    std::unique_lock guard(lock);
    bool moved = moveTo(state);
    guard.unlock();
    if (moved && pool != nullptr)
        pool->wakeForIdleWork();
}

// The stream depends on nothing but the state it starts from: a frame that ends where a screen
// rendered ahead ends leaves the screens after it good, however it got there.
bool StaticAhead::moveTo(std::uint32_t state) {
    if (started && state == firstState)
        return false;
    if (started && rendered >= screenPixels && state == stateAtScreenEnd[head]) {
        head = (head + 1) % static_cast<int>(stateAtScreenEnd.size());
        rendered -= screenPixels;
        firstState = state;
    } else {
        started = true;
        firstState = state;
        renderedState = state;
        rendered = 0;
    }
    if (rendered <= capacity() / 2 && capacity() > 0)
        refilling.store(true, std::memory_order_relaxed);
    return true;
}
