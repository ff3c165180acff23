#pragma once
// The fading layers' shared arithmetic. A fade position runs from 0.0 to 1.0 at `rate` units per
// second in `direction` (+1, -1 or 0); it is eased along a half cosine into a byte weight.

#include "core/SineTable.h"
#include "core/Truncate.h"

// (8192 - cos((int)(position * 4096))) >> 6: 0 at position 0.0, 255 at 1.0 (4096 steps are half
// a turn; the cosine is scaled by 8192, so the shift by 6 leaves 0..255 for positions 0..1).
inline int fadeEase(const SineTable& table, double position) {
    return (8192 - table.cos(truncateToInt(position * 4096.0))) >> 6;
}

// +1.0, -1.0 or 0.0 by the sign of `sign`.
inline double fadeDirectionOf(int sign) {
    return sign > 0 ? 1.0 : (sign < 0 ? -1.0 : 0.0);
}

// Moves `position` by the time since the previous frame. The first frame (lastTime -1.0) moves
// nothing. The position is summed frame by frame in double, so a fade can stop one rounding step
// short of its end; callers clamp afterwards.
inline void advanceFade(double& position, double& lastTime, double direction, double rate, double seconds) {
    if (lastTime == -1.0)
        lastTime = seconds;
    double elapsed = seconds - lastTime;
    lastTime = seconds;
    position = direction * rate * elapsed + position;
}

// Clamps to 0.0 first, then to `limit`.
inline double clampFade(double position, double limit = 1.0) {
    if (position < 0.0)
        position = 0.0;
    if (position > limit)
        position = limit;
    return position;
}
