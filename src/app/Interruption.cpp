#include "app/Interruption.h"

#include "capture/UnfinishedWork.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <ctime>

namespace {

constexpr int handledSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The first request's signal, claimed by the handler that takes it, and published once its time
// is set. The drawing threads block the requests, but a thread another library starts may not:
// two handlers may run at once, and the first claim wins.
std::atomic<int> claimedSignal{0};
std::atomic<int> firstSignal{0};
timespec firstSignalTime{};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free atomics");
struct sigaction previousActions[3];

// One request often arrives twice at once: `timeout` and `kill -- -PGID` signal the process and
// its group. A second signal counts only after this long.
constexpr long repeatWindowNanoseconds = 250'000'000;

bool withinRepeatWindow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    long elapsed = (now.tv_sec - firstSignalTime.tv_sec) * 1'000'000'000L + (now.tv_nsec - firstSignalTime.tv_nsec);
    return elapsed < repeatWindowNanoseconds;
}

void onSignal(int number) {
    int unclaimed = 0;
    if (claimedSignal.compare_exchange_strong(unclaimed, number)) {
        clock_gettime(CLOCK_MONOTONIC, &firstSignalTime);
        firstSignal.store(number, std::memory_order_release);
        return;
    }
    // Claimed but not yet published: the two arrived together, on two threads.
    if (firstSignal.load(std::memory_order_acquire) == 0 || withinRepeatWindow())
        return;
    abandonUnfinishedWork();
    static const char said[] = "velmora: stopped at once; the unfinished files are removed\n";
    ssize_t ignored = write(STDERR_FILENO, said, sizeof said - 1);
    (void)ignored;
    // Ended by the signal itself, so the caller sees how it ended. The signal is blocked while
    // its handler runs: it arrives, with the default action, as soon as this returns.
    signal(number, SIG_DFL);
    raise(number);
}

} // namespace

Interruption::Interruption() {
    claimedSignal = 0;
    firstSignal = 0;
    struct sigaction action{};
    action.sa_handler = onSignal;
    // Writes in progress go on rather than failing with EINTR.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int number : handledSignals)
        sigaddset(&action.sa_mask, number);
    for (int i = 0; i < 3; ++i)
        sigaction(handledSignals[i], &action, &previousActions[i]);
}

Interruption::~Interruption() {
    for (int i = 0; i < 3; ++i)
        sigaction(handledSignals[i], &previousActions[i], nullptr);
}

bool Interruption::requested() {
    return firstSignal != 0;
}

int Interruption::exitStatus() {
    return 128 + firstSignal;
}

std::string interruptedMessage(const std::string& output, long frames, int fps) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", double(frames) / fps);
    if (output.empty())
        return std::string("interrupted after ") + seconds;
    if (frames <= 0)
        return "interrupted before the first frame; nothing was written to " + output;
    return "interrupted; " + output + " holds the first " + seconds;
}
