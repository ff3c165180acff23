#pragma once
// Seconds since `start`, as a double. By default the time comes from the process's steady clock;
// a timer built with a time source reads that instead (the driver hands it the audio clock, an
// offline render the frame clock), measured from the source's value at `start`.

#include <functional>

namespace ptc {

class Timer {
public:
    // Any monotonic clock in seconds; only differences of its values are used.
    using TimeSource = std::function<double()>;

    Timer();
    explicit Timer(TimeSource source);

    // (Re)starts counting from zero.
    void start();
    // Seconds since the latest `start`; 0 before the first.
    double time() const;
    bool running() const { return started; }

private:
    TimeSource clock;
    double startTime = 0.0;
    bool started = false;
};

} // namespace ptc
