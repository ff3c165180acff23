#pragma once
// The one-line progress display of an offline render.

#include <string>

// "[#######.............]   12.5 s / 60.0 s   3.2x" : a bar of `barWidth` cells, the time
// rendered, the total, and the speed as a multiple of real time.
std::string progressLine(double doneSeconds, double totalSeconds, double speed, int barWidth = 30);
