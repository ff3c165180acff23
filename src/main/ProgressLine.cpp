#include "main/ProgressLine.h"

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
