// The page's choice of the build it draws with: `node --test tests/web/`.
import assert from "node:assert/strict";
import { test } from "node:test";

import { drawingBuild, drawingThreadsMax } from "../../web/threads.js";

test("a page that is not cross-origin isolated, or has no shared memory, draws on one thread", () => {
  for (const [isolated, sharedMemory] of [[false, true], [true, false], [false, false]])
    assert.deepEqual(drawingBuild({ isolated, sharedMemory, cores: 8, asked: 4 }),
                     { script: "./velmora.js", threads: 1 });
});

test("an isolated page draws on its cores, at most on the pool's threads", () => {
  const isolated = (cores, asked) => drawingBuild({ isolated: true, sharedMemory: true, cores, asked });
  assert.deepEqual(isolated(2), { script: "./velmora-threads.js", threads: 2 });
  assert.equal(isolated(64).threads, drawingThreadsMax);
  // A browser that hides its cores gets one thread, but still the build with threads.
  assert.deepEqual(isolated(undefined), { script: "./velmora-threads.js", threads: 1 });
  assert.equal(isolated(0).threads, 1);
});

test("?threads= overrides the cores within the pool, and is ignored when it is no count", () => {
  const isolated = (asked) => drawingBuild({ isolated: true, sharedMemory: true, cores: 3, asked }).threads;
  assert.equal(isolated(1), 1);
  assert.equal(isolated(2), 2);
  assert.equal(isolated(99), drawingThreadsMax);
  for (const nonsense of [NaN, 0, -2, 1.5])
    assert.equal(isolated(nonsense), 3);
});
