#pragma once
// The show rate in a window: frame k has the time k / fps and is drawn once the clock reaches
// that time. A loop that falls behind does not queue the frames it missed: it draws the newest
// frame whose time has come and counts the others as dropped.
//
// `leadSeconds` lets a frame be drawn that much before its time. A loop that presents with vsync
// on a display refreshing at the show rate uses half a frame: each refresh then shows the frame
// nearest to it, and a clock that jitters around a refresh does not make one refresh show two
// frames and the next none.

#include <optional>

class FramePacer {
  public:
    explicit FramePacer(int framesPerSecond, double leadSeconds = 0.0);

    // The next frame is `frame` (a show that starts later than frame 0).
    void startAt(long frame) { next = frame; }

    // The frame to draw at clock time `now`, or nothing when the next frame is not due yet.
    // Returning a frame counts it as drawn, and the ones skipped to reach it as dropped.
    std::optional<long> frameDue(double now);

    // Seconds from `now` until the next frame is due; 0 when it is due.
    double secondsUntilDue(double now) const;

    // The time of frame `frame`: exactly frame / fps.
    double frameTime(long frame) const { return double(frame) / framesPerSecond; }

    long nextFrame() const { return next; }
    long droppedFrames() const { return dropped; }

  private:
    int framesPerSecond;
    double lead;
    long next = 0;
    long dropped = 0;
};
