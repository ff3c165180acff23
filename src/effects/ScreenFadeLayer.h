#pragma once
// The fade control shared by the full-screen fades and the noise layer: a position 0.0 .. 1.0 that
// moves at `rate` units per second in `direction`, eased through half a cosine turn into a
// weight 0 .. 255.

#include "core/Layer.h"

class ScreenFadeLayer : public Layer {
public:
    // A whole fade (0 to 1) then takes `seconds`; callers pass positive values.
    void setFadeTime(double seconds) { rate = 1.0 / seconds; }
    // +1 grows the position, -1 shrinks it, 0 holds it.
    void setFadeDirection(int sign);
    // Stored as given; the next frame clamps it.
    void setFadePosition(double newPosition) { position = newPosition; }

    double fadePosition() const { return position; }

    // The fade control's position, rate and direction; each derived class adds its own members.
    void archiveState(StateArchive& archive) override;

protected:
    ~ScreenFadeLayer() = default;

    // Advances `position` by the time since `lastTime` (nothing on the first frame, when
    // `lastTime` is -1) and clamps it to 0 .. 1. The position is summed frame by frame, never
    // recomputed from the elapsed time, so a fade ends on the frame the sum says it does.
    void stepFade(double& lastTime, double seconds);

    // (8192 - cos(position * 4096)) >> 6, clamped to 0 .. 255: 4096 steps are half a turn, and
    // the cosine's 8192 scale becomes 256 after the shift.
    int easedWeight() const;

    double position = 0.0;
    double rate = 0.0;
    double direction = 1.0;
};
