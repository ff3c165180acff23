#include "app/ProgressLine.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string progressLine(double doneSeconds, double totalSeconds, double speed, int barWidth) {
    double fraction = totalSeconds > 0.0 ? std::clamp(doneSeconds / totalSeconds, 0.0, 1.0) : 1.0;
    int filled = static_cast<int>(fraction * barWidth);
    std::string line = "[" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "]";
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, " %7.1f s / %.1f s  %5.1fx", doneSeconds, totalSeconds,
                  std::isfinite(speed) ? speed : 0.0);
    return line + numbers;
}

ProgressReport::ProgressReport(long firstFrame, long endFrame, int fps)
    : enabled(isatty(STDERR_FILENO) != 0), firstFrame(firstFrame), totalSeconds(double(endFrame) / fps), fps(fps),
      start(std::chrono::steady_clock::now()) {}

void ProgressReport::frameDone(long frame, bool last) {
    if (!enabled)
        return;
    auto now = std::chrono::steady_clock::now();
    if (!last && now - lastShown < std::chrono::milliseconds(100))
        return;
    lastShown = now;
    double done = double(frame + 1) / fps;
    double rendered = double(frame + 1 - firstFrame) / fps;
    double wall = std::chrono::duration<double>(now - start).count();
    std::fprintf(stderr, "\r%s", progressLine(done, totalSeconds, wall > 0.0 ? rendered / wall : 0.0).c_str());
    if (last)
        std::fputc('\n', stderr);
    std::fflush(stderr);
}
