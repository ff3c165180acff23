#include "platform/ptc/Timer.h"

#include <chrono>

namespace ptc {

namespace {

double steadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

Timer::Timer() : clock(steadySeconds) {}

Timer::Timer(TimeSource source) : clock(source ? std::move(source) : TimeSource(steadySeconds)) {}

void Timer::start() {
    startTime = clock();
    started = true;
}

double Timer::time() const {
    return started ? clock() - startTime : 0.0;
}

} // namespace ptc
