#include "core/BandPool.h"

#include "core/QuietThreadStart.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>

BandPool::BandPool(int threads)
    : bandCount(std::max(1, threads)), claimedSplit(std::make_unique<std::atomic<std::uint64_t>[]>(bandCount)) {
    for (int band = 0; band < bandCount; ++band)
        claimedSplit[band] = 0;
    workers.reserve(bandCount - 1);
    QuietThreadStart quiet;
    try {
        for (int band = 1; band < bandCount; ++band)
            workers.emplace_back([this, band] { serveBands(band); });
    } catch (...) {
        // A thread the system would not start: the ones already running are stopped and joined
        // before the error goes on (a joinable thread left behind would end the program).
        stopWorkers();
        throw;
    }
}

BandPool::~BandPool() {
    stopWorkers();
}

void BandPool::stopWorkers() {
    {
        std::lock_guard lock(sleepLock);
        stopping = true;
    }
    wake.notify_all();
    for (std::thread& worker : workers)
        worker.join();
    workers.clear();
}

namespace {

// How long a thread spins for the next split before it sleeps. Offline, the next split comes
// well within it; in a window the threads sleep between frames.
constexpr auto spinTime = std::chrono::microseconds(500);

// How long a thread waits for the next split before it takes up idle work. The splits of one
// layer follow each other closely, and a split that comes while the thread is in a piece runs
// on its caller alone; a longer wait is the caller's work that is not split.
constexpr auto idleWorkDelay = std::chrono::microseconds(40);

void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

} // namespace

void BandPool::runBands(int count, BandCall call, void* context, bool together) {
    splitCount = count;
    splitTogether.store(together, std::memory_order_relaxed);
    splitCall = call;
    splitContext = context;
    bandsLeft.store(bandCount - 1, std::memory_order_relaxed);
    std::uint64_t split = generation.fetch_add(1, std::memory_order_release) + 1;
    {
        std::lock_guard lock(sleepLock);
        if (sleepers > 0)
            wake.notify_all();
    }
    call(context, 0, bandStart(count, 1, bandCount));
    // The bands no thread has started yet: a thread the system has not run since the split began
    // would otherwise hold the whole split up.
    for (int band = 1; band < bandCount; ++band) {
        if (!claim(band, split))
            continue;
        int begin = bandStart(count, band, bandCount);
        int end = bandStart(count, band + 1, bandCount);
        if (begin < end)
            call(context, begin, end);
        bandsLeft.fetch_sub(1, std::memory_order_acq_rel);
    }
    awaitBands();
}

// The bands still running are on threads that have started them; on a busy machine one may have
// lost its core, so the caller yields rather than spins for long.
void BandPool::awaitBands() {
    for (int spins = 0; bandsLeft.load(std::memory_order_acquire) != 0; ++spins) {
        if (spins < 4096)
            relax();
        else
            std::this_thread::yield();
    }
}

// Only the first to ask gets a band of a split. A thread that wakes after its split is over sees
// its band taken (by the caller) and runs nothing; the splits' numbers only grow. A claimed band
// keeps its split from ending, so the split's fields stay as they are while the band runs.
bool BandPool::claim(int band, std::uint64_t split) {
    std::uint64_t last = claimedSplit[band].load();
    while (last < split)
        if (claimedSplit[band].compare_exchange_weak(last, split))
            return true;
    return false;
}

// A thread asleep for want of a split is woken: the work may have pieces to do now.
void BandPool::addIdleWork(IdleWork* work) {
    {
        std::lock_guard lock(idleLock);
        int count = idleWorkCount.load(std::memory_order_relaxed);
        if (count == maxIdleWorks)
            throw std::length_error("BandPool: more than " + std::to_string(maxIdleWorks) + " idle works");
        idleWorks[count] = work;
        idleWorkCount.store(count + 1, std::memory_order_relaxed);
    }
    wakeForIdleWork();
}

void BandPool::removeIdleWork(IdleWork* work) {
    std::lock_guard lock(idleLock);
    int count = idleWorkCount.load(std::memory_order_relaxed);
    IdleWork** end = std::remove(idleWorks, idleWorks + count, work);
    idleWorkCount.store(static_cast<int>(end - idleWorks), std::memory_order_relaxed);
}

// A thread woken without a split goes back to waiting for one, with the idle work to do meanwhile.
void BandPool::wakeForIdleWork() {
    std::lock_guard lock(sleepLock);
    ++idleWakes;
    if (sleepers > 0)
        wake.notify_all();
}

bool BandPool::runIdlePiece(bool pressingOnly) {
    if (idleWorkCount.load(std::memory_order_relaxed) == 0)
        return false;
    std::unique_lock lock(idleLock, std::try_to_lock);
    if (!lock)
        return false;
    int count = idleWorkCount.load(std::memory_order_relaxed);
    for (int i = 0; i < count; ++i)
        if ((!pressingOnly || idleWorks[i]->pressing()) && idleWorks[i]->runPiece())
            return true;
    return false;
}

bool BandPool::awaitSplit(std::uint64_t seen) {
    const auto idleStart = std::chrono::steady_clock::now();
    auto spinEnd = idleStart + spinTime;
    for (int spins = 0; generation.load(std::memory_order_acquire) == seen; ++spins) {
        if (stopping.load(std::memory_order_relaxed))
            return false;
        relax();
        if (spins % 64 != 63)
            continue;
        // Idle work keeps the thread awake: the frame it is ahead for comes soon.
        if (runIdlePiece(true)) {
            spinEnd = std::chrono::steady_clock::now() + spinTime;
            continue;
        }
        auto now = std::chrono::steady_clock::now();
        if (now - idleStart > idleWorkDelay && runIdlePiece(false)) {
            spinEnd = std::chrono::steady_clock::now() + spinTime;
            continue;
        }
        if (now > spinEnd) {
            std::unique_lock lock(sleepLock);
            ++sleepers;
            const std::uint64_t wakes = idleWakes;
            wake.wait(lock, [&] {
                return stopping || generation.load(std::memory_order_acquire) != seen || idleWakes != wakes;
            });
            --sleepers;
            break;
        }
    }
    return !stopping.load(std::memory_order_relaxed);
}

void BandPool::serveBands(int band) {
    std::uint64_t seen = 0;
    while (awaitSplit(seen)) {
        seen = generation.load(std::memory_order_acquire);
        // Pressing work goes first; the caller runs this band itself once it is done with its own.
        if (!splitTogether.load(std::memory_order_relaxed) && runIdlePiece(true))
            continue;
        if (!claim(band, seen))
            continue;
        int count = splitCount;
        int begin = bandStart(count, band, bandCount);
        int end = bandStart(count, band + 1, bandCount);
        if (begin < end)
            splitCall(splitContext, begin, end);
        bandsLeft.fetch_sub(1, std::memory_order_acq_rel);
    }
}

namespace {

std::unique_ptr<BandPool>& sharedPool() {
    static std::unique_ptr<BandPool> pool = std::make_unique<BandPool>(1);
    return pool;
}

} // namespace

BandPool& bandPool() {
    return *sharedPool();
}

void setBandThreads(int threads) {
    std::unique_ptr<BandPool>& pool = sharedPool();
    if (pool->threads() != std::max(1, threads))
        pool = std::make_unique<BandPool>(threads);
}

void restartBandThreadsInChild(int threads) {
    std::unique_ptr<BandPool>& pool = sharedPool();
    static_cast<void>(pool.release()); // its threads are not in this process
    pool = std::make_unique<BandPool>(threads);
}

int availableCores() {
    return std::max(1u, std::thread::hardware_concurrency());
}
