#include "app/FramePacer.h"

#include <algorithm>
#include <cmath>

FramePacer::FramePacer(int fps, double leadSeconds) : framesPerSecond(fps), lead(leadSeconds) {}

std::optional<long> FramePacer::frameDue(double now) {
    if (!std::isfinite(now) || secondsUntilDue(now) > 0.0)
        return std::nullopt;
    long newest = std::max(next, static_cast<long>(std::floor((now + lead) * framesPerSecond)));
    dropped += newest - next;
    next = newest + 1;
    return newest;
}

double FramePacer::secondsUntilDue(double now) const {
    return std::max(0.0, frameTime(next) - lead - now);
}
