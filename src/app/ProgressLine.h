#pragma once
// The one-line progress display of an offline render.

#include <chrono>
#include <string>

// "[#######.............]   12.5 s / 60.0 s   3.2x" : a bar of `barWidth` cells, the time
// rendered, the total, and the speed as a multiple of real time.
std::string progressLine(double doneSeconds, double totalSeconds, double speed, int barWidth = 30);

// Shows the progress line of an offline render on standard error, at most ten times a second,
// when standard error is a terminal.
class ProgressReport {
public:
    // The render draws frames [firstFrame, endFrame).
    ProgressReport(long firstFrame, long endFrame, int fps);

    // Frame `frame` is done; `last` when it ends the render (the line is then finished).
    void frameDone(long frame, bool last);

private:
    bool enabled;
    long firstFrame;
    double totalSeconds;
    int fps;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point lastShown{};
};
