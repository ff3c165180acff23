#pragma once
// The first pass drawn ahead of the window, so that a seek finds a checkpoint near any time of
// it. A child process (a copy of the show as it stands after start-up, on one thread at a lower
// priority, so that it takes the cores the window's drawing threads leave idle) draws without
// showing and sends the show's state every `spacing` frames through a pipe; a thread of the
// window's process receives them, and the window's loop hands them to its driver. The child goes
// when the preparation is done, and with the window.

#include "driver/ShowDriver.h"

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

class ShowPreparation {
public:
    // Forks the child, which draws from the driver's next frame up to `endFrame` and sends the
    // checkpoints packed by `packing`. The driver must have started up. Throws ptc::DynamicError
    // when no child can be started.
    ShowPreparation(ShowDriver& driver, long spacing, long endFrame, const CheckpointPacking& packing);
    ~ShowPreparation();
    ShowPreparation(const ShowPreparation&) = delete;
    ShowPreparation& operator=(const ShowPreparation&) = delete;

    // The checkpoints that arrived since the last call, their bytes packed.
    std::vector<Checkpoint> takeArrived();
    // Whether the child sent its last checkpoint, and how long it took from the start.
    bool finished() const { return done; }
    double seconds() const { return std::chrono::duration<double>(finishedAt - startedAt).count(); }

private:
    void receive(int input);

    pid_t child = -1;
    std::thread receiver;
    std::mutex mutex;
    std::vector<Checkpoint> arrived;
    std::atomic<bool> done{false};
    std::chrono::steady_clock::time_point startedAt;
    std::chrono::steady_clock::time_point finishedAt;
};
