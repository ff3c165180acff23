// The page's clock against a scripted audio context: `node --test tests/web/`.
import assert from "node:assert/strict";
import { test } from "node:test";

import { ShowClock, musicOffset } from "../../web/clock.js";

// An audio context whose clock runs only while `running` and is read in 10 ms quanta, as
// browsers update currentTime per block of audio.
class FakeContext {
  constructor({ state = "suspended", outputLatency = 0.02 } = {}) {
    this.state = state;
    this.outputLatency = outputLatency;
    this.exact = 0;
    this.resumeCalls = 0;
  }
  get currentTime() { return Math.floor(this.exact * 100) / 100; }
  advance(seconds) { if (this.state === "running") this.exact += seconds; }
  resume() { ++this.resumeCalls; return new Promise(() => {}); } // never settles
}

// The clock with a page clock in steps of one display refresh; every time it gives is kept.
function harness(context) {
  const run = { wall: 0, times: [], starts: [], silent: 0, sound: 0 };
  run.clock = new ShowClock(context, () => run.wall, (at, when) => run.starts.push({ at, when }),
                            { onSilent: () => ++run.silent, onSound: () => ++run.sound });
  run.until = (wall) => {
    while (run.wall < wall - 1e-9) {
      run.wall += 1 / 60;
      context.advance(1 / 60);
      run.times.push(run.clock.seconds());
    }
    return run.times[run.times.length - 1];
  };
  run.clock.start();
  return run;
}

function assertNeverBackwards(times) {
  for (let i = 1; i < times.length; ++i)
    assert.ok(times[i] >= times[i - 1], `time went back from ${times[i - 1]} to ${times[i]} at step ${i}`);
}

test("follows the music heard while the context runs", () => {
  const context = new FakeContext({ state: "running" });
  const run = harness(context);
  // The music starts 50 ms ahead and is heard 20 ms after that; the show waits for it.
  assert.equal(run.until(0.05), 0);
  const heard = run.until(10);
  assert.ok(Math.abs(heard - (10 - 0.05 - 0.02)) < 0.011, `heard ${heard}`);
  assert.equal(run.silent, 0);
  assert.deepEqual(run.starts.map((s) => s.at), [0]);
  assertNeverBackwards(run.times);
});

test("a context that never starts: the show runs on the page's clock after a second", () => {
  const context = new FakeContext(); // suspended for good, resume() never answers
  const run = harness(context);
  assert.equal(run.until(0.9), 0);
  assert.equal(run.silent, 0, "a new context gets a second to open its device");
  run.until(1.05);
  assert.equal(run.silent, 1);
  const later = run.until(6);
  assert.ok(Math.abs(later - (6 - 1.0)) < 0.05, `the show stood at 0 and ran on from there: ${later}`);
  // It keeps asking, but never piles up requests that do not answer.
  assert.equal(context.resumeCalls, 1);
  assertNeverBackwards(run.times);
});

test("sound that starts late takes over at the show's time, without a jump backwards", () => {
  const context = new FakeContext();
  const run = harness(context);
  run.until(3);
  const before = run.times[run.times.length - 1];
  context.state = "running";
  run.until(8);
  assert.equal(run.silent, 1);
  assert.equal(run.sound, 1);
  // The music restarted where the show would be when heard, not at the start of the music.
  const restart = run.starts[1];
  assert.ok(Math.abs(restart.at - (before + 0.05 + 0.02)) < 0.05, `restarted at ${restart.at}`);
  // From then on the music's clock leads: the show keeps in step with it, a frame at most apart.
  const heard = run.clock.heardSeconds();
  assert.ok(Math.abs(run.times[run.times.length - 1] - heard) < 1 / 60, `show ${run.times.at(-1)} heard ${heard}`);
  assertNeverBackwards(run.times);
});

test("a context suspended or stalled while playing: the show goes on, then the sound comes back", () => {
  for (const stop of ["suspended", "interrupted", "stalled"]) {
    const context = new FakeContext({ state: "running" });
    const run = harness(context);
    run.until(10);
    const atStop = run.times[run.times.length - 1];
    if (stop === "stalled")
      context.advance = () => {}; // the device stops taking audio, the state says nothing
    else
      context.state = stop;
    run.until(10.3);
    assert.equal(run.silent, stop === "stalled" ? 0 : 1, `${stop}: noticed at once if the state says so`);
    run.until(15);
    assert.equal(run.silent, 1, stop);
    const silentEnd = run.times[run.times.length - 1];
    assert.ok(silentEnd > atStop + 4, `${stop}: the show moved on without sound (${atStop} -> ${silentEnd})`);

    delete context.advance;
    context.state = "running";
    run.until(20);
    assert.equal(run.sound, 1, stop);
    assert.ok(run.starts[1].at > silentEnd, `${stop}: the music restarts at the show's time, not where it stopped`);
    assertNeverBackwards(run.times);
  }
});

test("the music's offset: the first pass, then the loop section over and over", () => {
  const loopStart = 400, loopEnd = 440;
  assert.equal(musicOffset(0, loopStart, loopEnd), 0);
  assert.equal(musicOffset(-1, loopStart, loopEnd), 0);
  assert.equal(musicOffset(439.5, loopStart, loopEnd), 439.5);
  assert.equal(musicOffset(440, loopStart, loopEnd), 400);
  assert.equal(musicOffset(445, loopStart, loopEnd), 405);
  assert.equal(musicOffset(400 + 40 * 7 + 12, loopStart, loopEnd), 412);
  assert.equal(musicOffset(500, 440, 440), 440, "no loop section: stay at the end");
});
