// The show's clock in the page. While the sound plays, the show's time is the music heard (the
// audio context's clock); a context that never starts (no sound device, a browser that keeps it
// suspended) or stops while playing (a device unplugged, a phone call) would freeze the show on
// one frame, so the clock then runs on the page's own time from where the show stands, and hands
// back to the sound once the context runs again, restarting the music at the show's time.
// The time it gives never goes backwards.

// How long the context's clock may stand still before the show stops waiting for it: at the
// start (a context takes a moment to open its device) and while playing.
export const startGraceSeconds = 1;
export const stallGraceSeconds = 0.5;
// The music starts this far ahead of the context's clock, so that it starts where it was asked to.
const startLeadSeconds = 0.05;
// A hand-back is complete once the music heard has caught up with the page's time to this much;
// if it never does (a clock that runs slow), after handBackLimitSeconds.
const handBackToleranceSeconds = 0.01;
const handBackLimitSeconds = 1;
// How often a stopped context is asked to run again.
const resumeIntervalSeconds = 1;

// Where show time `seconds` is in the music's buffer: the first pass, then the loop section
// [loopStart, loopEnd) again and again.
export function musicOffset(seconds, loopStart, loopEnd) {
  if (seconds < loopEnd)
    return Math.max(0, seconds);
  const loopLength = loopEnd - loopStart;
  return loopLength > 0 ? loopStart + ((seconds - loopStart) % loopLength) : loopEnd;
}

export class ShowClock {
  // audio: an AudioContext (state, currentTime, outputLatency, resume()); wallSeconds(): the
  // page's clock in seconds; playMusic(showSeconds, contextTime): start the music at show time
  // showSeconds when the context's clock reads contextTime (stopping any music playing);
  // events: onSilent() when the show goes on without sound, onSound() when the sound is back.
  constructor(audio, wallSeconds, playMusic, events = {}) {
    this.audio = audio;
    this.wallSeconds = wallSeconds;
    this.playMusic = playMusic;
    this.events = events;
    this.mode = "stopped";
  }

  // The show starts at time `at` (0: the start), now; the show waits for the music's first
  // sample. Starting again (after a pause or a seek) sets the time anew.
  start(at = 0) {
    this.last = at;
    this.mode = "audio";
    this.startedAt = this.wallSeconds();
    this.everMoved = false;
    this.contextTime = this.audio.currentTime;
    this.contextMovedAt = this.startedAt;
    this.resumeAskedAt = -Infinity;
    this.resuming = false;
    this.musicStart = this.audio.currentTime + startLeadSeconds;
    this.musicAt = at;
    this.playMusic(this.musicAt, this.musicStart);
  }

  // The show's time in seconds, never less than the time given before.
  seconds() {
    if (this.mode === "stopped")
      return 0;
    const wall = this.wallSeconds();
    this.noticeContextMotion(wall);
    if (this.mode === "audio")
      this.followAudio(wall);
    else
      this.followPage(wall);
    return this.last;
  }

  // The music heard, in show time; negative before the music has started.
  heardSeconds() {
    return this.musicAt + (this.audio.currentTime - this.musicStart) - (this.audio.outputLatency || 0);
  }

  noticeContextMotion(wall) {
    const contextTime = this.audio.currentTime;
    if (contextTime !== this.contextTime) {
      this.contextTime = contextTime;
      this.contextMovedAt = wall;
      this.everMoved = true;
    }
  }

  // Whether the context's clock runs. A new context is "suspended" until its device opens, so
  // at the start only a clock that has not moved for the whole grace counts as stopped.
  contextPlays(wall) {
    if (!this.everMoved)
      return wall - this.startedAt < startGraceSeconds;
    return this.audio.state === "running" && wall - this.contextMovedAt < stallGraceSeconds;
  }

  followAudio(wall) {
    if (this.contextPlays(wall)) {
      this.last = Math.max(this.last, this.heardSeconds());
      return;
    }
    // The show goes on from where it stands, on the page's clock.
    this.mode = "page";
    this.pageBase = wall;
    this.showBase = this.last;
    this.contextAtSilence = this.audio.currentTime;
    if (this.events.onSilent)
      this.events.onSilent();
    this.followPage(wall);
  }

  followPage(wall) {
    const pageTime = this.showBase + (wall - this.pageBase);
    this.last = Math.max(this.last, pageTime);
    if (this.mode === "page") {
      if (this.audio.state === "running" && this.audio.currentTime !== this.contextAtSilence)
        this.handBack(pageTime, wall);
      else
        this.askToResume(wall);
    } else if (!this.contextPlays(wall)) {
      this.mode = "page"; // stopped again while handing back
      this.contextAtSilence = this.audio.currentTime;
    } else if (this.heardSeconds() >= pageTime - handBackToleranceSeconds ||
               wall - this.handBackStart > handBackLimitSeconds) {
      this.mode = "audio";
      if (this.events.onSound)
        this.events.onSound();
    }
  }

  // The context runs again: the music restarts where the show will be when it is heard, and
  // the page's clock keeps the show until the music heard has caught up with it.
  handBack(pageTime, wall) {
    const latency = this.audio.outputLatency || 0;
    this.musicStart = this.audio.currentTime + startLeadSeconds;
    this.musicAt = pageTime + startLeadSeconds + latency;
    this.playMusic(this.musicAt, this.musicStart);
    this.mode = "handing back";
    this.handBackStart = wall;
  }

  // A stopped context is asked to run again, one request at a time (some never answer).
  askToResume(wall) {
    if (this.audio.state === "running" || this.resuming || wall - this.resumeAskedAt < resumeIntervalSeconds)
      return;
    this.resumeAskedAt = wall;
    this.resuming = true;
    let request;
    try {
      request = this.audio.resume();
    } catch {
      request = null;
    }
    Promise.resolve(request).catch(() => {}).finally(() => { this.resuming = false; });
  }

  stop() {
    this.mode = "stopped";
  }
}
