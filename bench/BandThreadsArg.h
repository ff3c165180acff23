#pragma once
// For the benchmarks of banded layers: the benchmark's argument is the band pool's thread count,
// set for the run and put back to one thread afterwards.

#include "core/BandPool.h"

#include <benchmark/benchmark.h>

class BandThreadsArg {
  public:
    explicit BandThreadsArg(const benchmark::State& state) {
        setBandThreads(static_cast<int>(state.range(0)));
    }
    ~BandThreadsArg() { setBandThreads(1); }
    BandThreadsArg(const BandThreadsArg&) = delete;
    BandThreadsArg& operator=(const BandThreadsArg&) = delete;
};
