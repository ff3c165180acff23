#pragma once
// The time of the audio heard. The output reports, now and then, how many frames have been
// heard; between reports the clock runs on with a steady clock, but never further than `lead`
// frames past the last report (the next report is due by then) and never backwards.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>

class AudioClock {
  public:
    using Clock = std::chrono::steady_clock;

    // `lead`: how far the clock may run ahead of a report, in frames (unlimited by default).
    void reset(int framesPerSecond, double lead = std::numeric_limits<double>::infinity()) {
        rate = framesPerSecond;
        maximumLead = lead;
        hasReport = false;
        reportedFrames = 0.0;
        latest = 0.0;
    }

    // The clock reads `startFrames` until the first report (playback that starts part way).
    void startAt(double startFrames) { latest = startFrames; }

    void report(double heardFrames, Clock::time_point when) {
        reportedFrames = heardFrames;
        reportTime = when;
        hasReport = true;
    }

    // From `now` on the clock runs on the steady clock alone, from where it stands, until a
    // report comes again (the output stopped; the show goes on).
    void runFreely(Clock::time_point now) {
        report(frames(now), now);
        maximumLead = std::numeric_limits<double>::infinity();
    }

    // Limits how far the clock may run ahead of the last report again, in frames.
    void limitLead(double lead) { maximumLead = lead; }

    // Stops the clock where it is at `now` until the next report.
    void hold(Clock::time_point now) {
        frames(now);
        hasReport = false;
    }

    // Frames heard at `now`, fractional.
    double frames(Clock::time_point now) {
        if (!hasReport)
            return latest;
        double elapsed = std::chrono::duration<double>(now - reportTime).count();
        double ahead = std::clamp(elapsed * rate, 0.0, maximumLead);
        latest = std::max(latest, reportedFrames + ahead);
        return latest;
    }

    double seconds(Clock::time_point now) { return frames(now) / rate; }

  private:
    int rate = 44100;
    double maximumLead = std::numeric_limits<double>::infinity();
    bool hasReport = false;
    double reportedFrames = 0.0;
    Clock::time_point reportTime{};
    double latest = 0.0;
};
