#pragma once
// For the layers that split their work over the shared band pool: the frames drawn with several
// threads must be the single thread's, bit for bit.

#include "core/BandPool.h"
#include "core/SimdLevel.h"

#include "EffectTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

// Sets the shared pool's thread count for a block and goes back to one thread afterwards.
class BandThreadsGuard {
  public:
    explicit BandThreadsGuard(int threads) { setBandThreads(threads); }
    ~BandThreadsGuard() { setBandThreads(1); }
};

namespace bandedtest {

// While set, renderLayer takes turns: two renders split, two on the calling thread alone, as a
// layer's split choice may switch from frame to frame.
inline bool mixedSplits = false;
inline int rendersDrawn = 0;

} // namespace bandedtest

// The runs draw each frame through this, so that the mixed schedule reaches every render.
template <class LayerType> void renderLayer(LayerType& layer, Bitmap& target, double seconds) {
    if (bandedtest::mixedSplits && bandedtest::rendersDrawn++ / 2 % 2 == 1) {
        BandPool::Alone alone(bandPool());
        layer.render(target, seconds);
    } else {
        layer.render(target, seconds);
    }
}

// `drawRun` builds its layer afresh, draws a schedule of frames (with its setter changes) and
// returns one value per frame that must not depend on the thread count, such as each frame's
// pixel hash. It runs at one thread, then at 2, 3 and 8, and at 2 with renders alone and split in
// turn; every frame is compared.
template <class DrawRun> void expectSameFramesAtEveryThreadCount(DrawRun drawRun) {
    std::vector<std::uint64_t> reference;
    {
        BandThreadsGuard threads(1);
        reference = drawRun();
    }
    ASSERT_FALSE(reference.empty());
    for (int threadCount : {2, 3, 8, -2}) {
        BandThreadsGuard threads(std::abs(threadCount));
        bandedtest::mixedSplits = threadCount < 0;
        bandedtest::rendersDrawn = 0;
        std::vector<std::uint64_t> banded = drawRun();
        bandedtest::mixedSplits = false;
        const char* schedule = threadCount < 0 ? " (split and alone in turn)" : "";
        ASSERT_EQ(banded.size(), reference.size());
        for (std::size_t frame = 0; frame < reference.size(); ++frame)
            ASSERT_EQ(banded[frame], reference[frame])
                << std::abs(threadCount) << " threads" << schedule << ", frame " << frame;
    }
}

// The same at the plain level and at every vector level this machine runs.
template <class DrawRun> void expectSameFramesAtEveryLevelAndThreadCount(DrawRun drawRun) {
    for (SimdLevel level : {SimdLevel::plain, SimdLevel::sse2, SimdLevel::avx2}) {
        if (level > supportedSimdLevel())
            continue;
        SimdLevelGuard guard(level);
        expectSameFramesAtEveryThreadCount(drawRun);
    }
}
