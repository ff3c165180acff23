#pragma once
// Splits one loop of independent iterations (rows, columns, rays) over a few threads. Each thread
// takes one contiguous band of the iterations and runs it with the same arithmetic as the plain
// loop, so that the result does not depend on the number of threads. The threads are started
// once; a split neither allocates nor starts anything. Between splits the threads spin for a
// moment before they sleep: a frame makes many splits, and waking a sleeping thread costs more
// than most bands. A band whose thread has not started it by the time the caller is done with its
// own is run by the caller: on a busy machine a split does not wait for a thread that the system
// has not run since the split began.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

// Work that the pool's threads take up while they wait for a split: small pieces (a chunk of sound
// or a stretch of static rendered ahead), which a split that comes in the meantime does not wait
// for (its caller runs a band that no thread has started).
class IdleWork {
  public:
    // Does one piece if there is one to do and says whether it did. On one thread at a time.
    virtual bool runPiece() = 0;
    // Whether the pieces go before splits: a thread with such a piece to do leaves its band of a
    // split to the caller (unless the bands wait for one another) and does the piece at once. For
    // work the next frame may need; other work waits for a pause between splits.
    virtual bool pressing() const { return false; }

  protected:
    ~IdleWork() = default;
};

class BandPool {
  public:
    // `threads` counts the calling thread: 1 runs every band on the caller.
    explicit BandPool(int threads);
    ~BandPool();
    BandPool(const BandPool&) = delete;
    BandPool& operator=(const BandPool&) = delete;

    // The threads the pool has, the caller's included.
    int threads() const { return bandCount; }
    // The bands the next split makes: threads(), or 1 while an Alone is in force.
    int bands() const { return alone ? 1 : bandCount; }

    // While one is in force, every split runs on the calling thread alone, as with one thread, and
    // bands() is 1. For work that costs more split than whole on this machine (SplitChoice). Only
    // on the thread that splits, between splits.
    class Alone {
      public:
        explicit Alone(BandPool& pool) : pool(pool), before(pool.alone) { pool.alone = true; }
        ~Alone() { pool.alone = before; }
        Alone(const Alone&) = delete;
        Alone& operator=(const Alone&) = delete;

      private:
        BandPool& pool;
        bool before;
    };

    // Calls work(begin, end) once per band, the bands covering [0, count) in order without
    // overlap; the caller runs the first band and returns when all are done. `work` must only
    // write what its band owns.
    template <class Work> void forEachBand(int count, Work&& work) { splitBands(count, work, false); }

    // forEachBand for bands that wait for one another's progress: every band then runs on a
    // thread of its own, at the same time as the others.
    template <class Work> void forEachBandTogether(int count, Work&& work) { splitBands(count, work, true); }

    // Calls work(begin, end) for chunks of `chunkSize` iterations covering [0, count), handed out
    // one after another to whichever thread is free: for iterations of uneven cost (rays that meet
    // near or far ground), and a thread that comes late simply takes fewer. `work` must only write
    // what its chunk owns.
    template <class Work> void forEachChunk(int count, int chunkSize, Work&& work) {
        if (bands() == 1 || count <= chunkSize) {
            work(0, count);
            return;
        }
        std::atomic<int> nextChunk{0};
        forEachBand(bands(), [&](int, int) {
            for (int begin; (begin = nextChunk.fetch_add(chunkSize, std::memory_order_relaxed)) < count;)
                work(begin, std::min(begin + chunkSize, count));
        });
    }

    // Work the threads do between splits, a piece at a time: each time the first of the works,
    // in the order added, that has a piece to do. At most maxIdleWorks at once.
    void addIdleWork(IdleWork* work);
    // Returns once no thread is in a piece of `work`, which may then go.
    void removeIdleWork(IdleWork* work);
    // Wakes the threads that sleep for want of a split: an idle work has new pieces to do.
    void wakeForIdleWork();
    static constexpr int maxIdleWorks = 4;

    // Where band `band` of `bands` starts in [0, count).
    static int bandStart(int count, int band, int bands) {
        return static_cast<int>(static_cast<std::int64_t>(count) * band / bands);
    }

  private:
    using BandCall = void (*)(void* context, int begin, int end);

    template <class Work> void splitBands(int count, Work& work, bool together) {
        if (bands() == 1 || count <= 1) {
            work(0, count);
            return;
        }
        auto call = [](void* context, int begin, int end) { (*static_cast<Work*>(context))(begin, end); };
        runBands(count, call, &work, together);
    }
    void runBands(int count, BandCall call, void* context, bool together);
    void stopWorkers();
    void serveBands(int band);
    // Takes band `band` of split `split` for the caller of claim; false when it is taken already.
    bool claim(int band, std::uint64_t split);

    // Waits for a split newer than `seen`, spinning first and then sleeping; false when stopping.
    bool awaitSplit(std::uint64_t seen);
    // Runs a piece of the first idle work that has one (pressing work only, if asked).
    bool runIdlePiece(bool pressingOnly);
    void awaitBands();

    int bandCount;
    bool alone = false;
    std::vector<std::thread> workers;
    // The split in progress: its fields are written before `generation` grows (release), so a
    // thread that sees the new generation (acquire) and then claims its band reads them whole.
    std::atomic<std::uint64_t> generation{0};
    int splitCount = 0;
    // Read by a thread before it claims its band, when the split may be over: atomic.
    std::atomic<bool> splitTogether{false};
    BandCall splitCall = nullptr;
    void* splitContext = nullptr;
    std::atomic<int> bandsLeft{0};
    std::atomic<bool> stopping{false};
    // Per band, the last split whose band was taken (by its thread or by the caller).
    std::unique_ptr<std::atomic<std::uint64_t>[]> claimedSplit;
    // Threads that stopped spinning and sleep on `wake`; a split takes the lock only to wake them.
    std::mutex sleepLock;
    std::condition_variable wake;
    int sleepers = 0;
    std::uint64_t idleWakes = 0; // under sleepLock
    // Held by the thread in a piece of idle work, and to add or remove a work.
    std::mutex idleLock;
    std::atomic<int> idleWorkCount{0};
    IdleWork* idleWorks[maxIdleWorks] = {};
};

// The pool the layers split their work over, shared by the whole process. It starts with one
// thread (every loop on the caller) until setBandThreads chooses more.
BandPool& bandPool();

// Replaces the shared pool by one of `threads` threads (at least 1). Not while a frame is drawn.
void setBandThreads(int threads);

// For a child process that fork() made while the shared pool had threads: they stayed with the
// parent, and the pool's lock may have been held at the fork. Leaves that copy of the pool alone
// for good (never joined, never locked) and starts a new pool of `threads` threads.
void restartBandThreadsInChild(int threads);

// The number of threads a viewer's machine offers, at least 1.
int availableCores();

// For bands that follow one another's progress: waits until `progress` reaches `value`, spinning a
// little and then giving the core away (more bands than cores must still make progress).
inline void awaitBandProgress(const std::atomic<int>& progress, int value) {
    for (int spins = 0; progress.load(std::memory_order_acquire) < value; ++spins)
        if (spins >= 64)
            std::this_thread::yield();
}
