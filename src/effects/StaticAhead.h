#pragma once
// The static's grey values for the next frames, rendered by the band pool's threads while they wait
// for a split. The generator is one long chain (each value needs the one before) that no band can
// start in the middle of, so it cannot be split; but the values do not depend on anything drawn:
// the frames that show static take them in one stream, a screen's worth each. Whatever the chain
// has reached while the drawing thread was busy elsewhere is a part of the frame it no longer has
// to generate itself.
//
// The stream is kept by the state it starts from. A frame that starts from another state (a state
// restored, a generator set) finds nothing ready and generates its values itself, and the stream
// starts again from where that frame ends.

#include "core/BandPool.h"

#include <atomic>
#include <bit>
#include <cstdint>
#include <mutex>
#include <vector>

// One static value: the low byte of the new state. (Unlike the other generators this one XORs
// before rotating and adds after.)
inline std::uint32_t nextStaticGrey(std::uint32_t& state) {
    state = std::rotl(state ^ 157u, 11) + 157u;
    return state & 0xFF;
}

class StaticAhead final : private IdleWork {
  public:
    // Keeps up to `frames` screens of values ahead, rendered by the threads of `pool` (which must
    // outlive this). A pool of one thread renders nothing ahead.
    StaticAhead(BandPool& pool, int frames);
    // Takes the rendering back from the pool.
    ~StaticAhead();
    StaticAhead(const StaticAhead&) = delete;
    StaticAhead& operator=(const StaticAhead&) = delete;

    // The first `count` values of the frame whose generator starts at `state` (at most a screen's,
    // possibly none), and the state after them.
    struct Ready {
        const std::uint8_t* greys;
        int count;
        std::uint32_t stateAfter;
    };
    // Nothing is rendered ahead from here until release: the values stay as they are.
    Ready acquire(std::uint32_t state);
    // The frame is done and the next one starts at `state`.
    void release(std::uint32_t state);
    // For a frame without static: the next one starts at `state`.
    void expect(std::uint32_t state);

    // A stretch of the chain rendered at a time: short, since a split that comes meanwhile runs on
    // its caller alone. A screen holds 24 of them.
    static constexpr int pieceValues = 8192;

  private:
    bool runPiece() override;
    // While the values ready run low, until they are full again, they go before the threads'
    // bands of a split: the drawing thread then runs those splits alone. A long stretch of the
    // chain at a time, so that the thread never runs out of it in the middle of a split.
    bool pressing() const override { return refilling.load(std::memory_order_relaxed); }
    // Moves the stream on to the frame that starts at `state`, or starts it again there; false
    // when it was there already. Wakes no thread.
    bool moveTo(std::uint32_t state);
    long capacity() const { return static_cast<long>(greys.size()); }

    BandPool* pool; // null when nothing is rendered ahead
    std::mutex lock; // held while a piece is rendered and from acquire to release
    std::unique_lock<std::mutex> acquired;

    // A ring of screens: the frame to be taken next is in screen `head`, and `rendered` values
    // from its start on are ready; stateAtScreenEnd holds the state after each screen rendered.
    std::vector<std::uint8_t> greys;
    std::vector<std::uint32_t> stateAtScreenEnd;
    bool started = false; // whether any frame has said where the stream starts
    std::uint32_t firstState = 0; // at the start of screen `head`
    std::uint32_t renderedState = 0; // after the `rendered` values
    int head = 0;
    long rendered = 0;
    std::atomic<bool> refilling{false}; // set when half the ring or less is ready, until it is full
};
