#include "main/Interruption.h"

#include "platform/ptc/UnfinishedWork.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>

namespace {

constexpr int handledSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t firstSignal = 0;
struct sigaction previousActions[3];

void onSignal(int number) {
    if (firstSignal == 0) {
        firstSignal = number;
        return;
    }
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
