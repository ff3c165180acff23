// The page's keeping of the preparation's checkpoints, with the worker's messages scripted:
// `node --test tests/web/`.
import assert from "node:assert/strict";
import { test } from "node:test";

import { Preparation, packCheckpoint } from "../../web/checkpoints.js";

// A preparation whose worker is the test: `send` hands it the worker's messages.
function scripted() {
  const run = { changes: 0, failures: [] };
  run.preparation = new Preparation({
    onChange: () => ++run.changes,
    onFailure: (reason) => run.failures.push(reason),
  });
  run.preparation.worker = { terminate: () => { run.terminated = true; } };
  run.send = (message) => run.preparation.receive({ scenes: [], seconds: 1, packSeconds: 0.5, spacing: 180,
                                                    passEnd: 1000, ...message });
  run.checkpoint = (frame) => run.send({ kind: "checkpoint", frame, packed: new Uint8Array([frame & 0xff]),
                                         bytes: 6000000 });
  return run;
}

test("a seek finds the last checkpoint at or before its frame, however they arrived", () => {
  const run = scripted();
  for (const frame of [0, 360, 180, 540])
    run.checkpoint(frame);
  const found = (frame) => run.preparation.latestAtOrBefore(frame);
  assert.deepEqual([0, 179, 180, 359, 360, 539, 540, 999].map(found), [0, 0, 180, 180, 360, 360, 540, 540]);
  assert.equal(run.preparation.lastFrame, 540);
  assert.equal(run.preparation.packedBytes, 4);
});

test("before its first checkpoint, the preparation offers none", () => {
  const run = scripted();
  assert.equal(run.preparation.latestAtOrBefore(500), -1);
  assert.equal(run.preparation.preparedFrame, 0);
});

test("what is prepared reaches a spacing past the last checkpoint, and the whole pass once done", () => {
  const run = scripted();
  run.checkpoint(0);
  run.checkpoint(180);
  assert.equal(run.preparation.preparedFrame, 360);
  run.checkpoint(900);
  assert.equal(run.preparation.preparedFrame, 1000); // not past the first pass
  run.send({ kind: "done" });
  assert.equal(run.preparation.preparedFrame, 1000);
  assert.ok(run.preparation.done && !run.preparation.working && run.terminated);
});

test("a failure is told once, ends the worker, and lets a waiting seek go on", async () => {
  const run = scripted();
  run.checkpoint(0);
  const waiting = run.preparation.nextArrival();
  run.send({ kind: "failed", reason: "out of memory" });
  run.preparation.fail("again");
  await waiting;
  assert.deepEqual(run.failures, ["out of memory"]);
  assert.ok(run.terminated && !run.preparation.working);
  // Its checkpoints stay usable.
  assert.equal(run.preparation.latestAtOrBefore(100), 0);
});

test("every seek waiting for the next checkpoint goes on when it arrives", async () => {
  const run = scripted();
  const first = run.preparation.nextArrival();
  const second = run.preparation.nextArrival();
  run.checkpoint(0);
  await Promise.all([first, second]);
  assert.equal(run.changes, 1);
});

test("a packed checkpoint unpacks to its bytes", async () => {
  const run = scripted();
  const state = new Uint8Array(3 * 1024 * 1024);
  for (let i = 0; i < state.length; i += 7)
    state[i] = (i * 2654435761) >>> 24;
  const packed = await packCheckpoint(state);
  assert.ok(packed.length < state.length / 2);
  run.send({ kind: "checkpoint", frame: 0, packed, bytes: state.length });
  assert.deepEqual(await run.preparation.unpack(0), state);
});

// Workers the test stands in for: each records what it was sent and whether it was ended.
function fakeWorkers() {
  const started = [];
  class FakeWorker {
    constructor(url) {
      this.script = String(url).split("/").pop();
      this.sent = [];
      started.push(this);
    }
    postMessage(message, transfer) { this.sent.push({ message, transfer }); }
    terminate() { this.ended = true; }
  }
  const saved = globalThis.Worker;
  globalThis.Worker = FakeWorker;
  return { started, restore: () => { globalThis.Worker = saved; } };
}

test("the page starts the packer and gives the preparation a channel to it, not a worker of its own", () => {
  const workers = fakeWorkers();
  try {
    const run = scripted();
    const files = [{ name: "music.xm", bytes: new Uint8Array(4) }];
    assert.ok(run.preparation.start(files));
    const [preparation, packer] = workers.started;
    assert.deepEqual(workers.started.map((worker) => worker.script), ["preparation.js", "packing.js"]);
    const port = packer.sent[0].message.port;
    assert.ok(port && packer.sent[0].transfer.includes(port));
    const { message, transfer } = preparation.sent[0];
    assert.equal(message.files, files);
    assert.ok(message.packer && transfer.includes(message.packer) && message.packer !== port);
    // The two ends are one channel.
    const received = new Promise((resolve) => { port.onmessage = ({ data }) => resolve(data); });
    message.packer.postMessage({ id: 7 });
    return received.then((data) => {
      assert.equal(data.id, 7);
      port.close();
      message.packer.close();
      // Done, both workers end.
      run.send({ kind: "done" });
      assert.ok(preparation.ended && packer.ended);
    });
  } finally {
    workers.restore();
  }
});

test("a packer that cannot load ends the preparation, which would wait for it for ever", () => {
  const workers = fakeWorkers();
  try {
    const run = scripted();
    run.preparation.start([]);
    const [preparation, packer] = workers.started;
    let prevented = false;
    packer.onerror({ message: "SyntaxError in packing.js", preventDefault: () => { prevented = true; } });
    assert.ok(prevented);
    assert.deepEqual(run.failures, ["SyntaxError in packing.js"]);
    assert.ok(run.preparation.failed && preparation.ended && packer.ended);
  } finally {
    workers.restore();
  }
});
