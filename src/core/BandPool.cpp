#include "core/BandPool.h"

#include <algorithm>
#include <memory>

BandPool::BandPool(int threads)
    : bandCount(std::max(1, threads)), claimedSplit(std::make_unique<std::atomic<std::uint64_t>[]>(bandCount)) {
    for (int band = 0; band < bandCount; ++band)
        claimedSplit[band] = 0;
    workers.reserve(bandCount - 1);
    for (int band = 1; band < bandCount; ++band)
        workers.emplace_back([this, band] { serveBands(band); });
}

BandPool::~BandPool() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    started.notify_all();
    for (std::thread& worker : workers)
        worker.join();
}

void BandPool::runBands(int count, BandCall call, void* context) {
    std::uint64_t split;
    {
        std::lock_guard lock(mutex);
        splitCount = count;
        splitCall = call;
        splitContext = context;
        bandsLeft = bandCount - 1;
        split = ++generation;
    }
    started.notify_all();
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
        std::lock_guard lock(mutex);
        --bandsLeft;
    }
    std::unique_lock lock(mutex);
    finished.wait(lock, [this] { return bandsLeft == 0; });
}

// Only the first to ask gets a band of a split. A thread that wakes after its split is over sees
// its band taken (by the caller) and runs nothing; the splits' numbers only grow.
bool BandPool::claim(int band, std::uint64_t split) {
    std::uint64_t last = claimedSplit[band].load();
    while (last < split)
        if (claimedSplit[band].compare_exchange_weak(last, split))
            return true;
    return false;
}

void BandPool::serveBands(int band) {
    std::uint64_t seen = 0;
    for (;;) {
        int count;
        BandCall call;
        void* context;
        {
            std::unique_lock lock(mutex);
            started.wait(lock, [&] { return stopping || generation != seen; });
            if (stopping)
                return;
            seen = generation;
            count = splitCount;
            call = splitCall;
            context = splitContext;
        }
        if (!claim(band, seen))
            continue;
        int begin = bandStart(count, band, bandCount);
        int end = bandStart(count, band + 1, bandCount);
        if (begin < end)
            call(context, begin, end);
        bool last;
        {
            std::lock_guard lock(mutex);
            last = --bandsLeft == 0;
        }
        if (last)
            finished.notify_one();
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
