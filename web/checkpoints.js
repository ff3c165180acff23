// Checkpoints of the show's state prepared ahead of the viewer: a Web Worker (preparation.js)
// draws the first pass with its own copy of the show and sends one every few seconds of show
// time, compressed with the browser's own deflate (CompressionStream); the page keeps them here
// and a seek restores the last one at or before its frame (page.js).

// A checkpoint is about 6 MB, mostly black work buffers and idle layers' buffers; deflated it is
// a tenth to a third of that. One every 3 s of the first pass keeps them well under 160 MB, and
// a seek draws at most 3 s of frames after restoring one.
export const spacingSeconds = 3;

// The raw deflate format where the engine has it, else the same stream with gzip's header.
const packFormat = (() => {
  try {
    new CompressionStream("deflate-raw");
    return "deflate-raw";
  } catch (error) {
    return "gzip";
  }
})();

// The bytes through a compression or decompression stream, read chunk by chunk.
async function throughStream(bytes, transform) {
  const reader = new Blob([bytes]).stream().pipeThrough(transform).getReader();
  const chunks = [];
  let length = 0;
  for (;;) {
    const { done, value } = await reader.read();
    if (done)
      break;
    chunks.push(value);
    length += value.length;
  }
  if (chunks.length === 1)
    return chunks[0];
  const joined = new Uint8Array(length);
  let at = 0;
  for (const chunk of chunks) {
    joined.set(chunk, at);
    at += chunk.length;
  }
  return joined;
}

export function packCheckpoint(bytes) {
  return throughStream(bytes, new CompressionStream(packFormat));
}

function unpackCheckpoint(packed) {
  return throughStream(packed, new DecompressionStream(packFormat));
}

// The page's side of the preparation: the worker, the checkpoints it sent, the scenes it found.
// `onChange` is told whenever more is prepared; `onFailure(reason)` once, if the worker cannot
// run the show (the page then keeps checkpoints itself as it plays).
export class Preparation {
  constructor({ onChange, onFailure }) {
    this.onChange = onChange;
    this.onFailure = onFailure;
    this.frames = []; // the checkpoints' frames, in order
    this.packed = new Map(); // frame -> deflated checkpoint
    this.packedBytes = 0;
    this.stateBytes = 0; // one checkpoint unpacked
    this.scenes = [];
    // The checkpoints' spacing and the end of the first pass, in frames: the worker's.
    this.spacing = 0;
    this.passEnd = 0;
    this.seconds = 0;
    this.packSeconds = 0;
    this.done = false;
    this.failed = false;
    this.failure = ""; // why it stopped, where it failed
    this.arrival = null;
  }

  // Starts the worker with the files the show reads ([{ name, bytes }]). False where the browser
  // cannot start it. The page also starts the preparation's packer (packing.js) and hands the
  // preparation a channel to it: a worker started from a worker can hang Firefox's worker thread
  // in its constructor. Without the packer the preparation packs itself.
  start(files) {
    try {
      this.worker = new Worker(new URL("./preparation.js", import.meta.url), { type: "module" });
    } catch (error) {
      this.fail(`no worker (${error.message})`);
      return false;
    }
    this.worker.onmessage = ({ data }) => this.receive(data);
    // A module worker that cannot load (an engine without them, a blocked script) ends here.
    this.worker.onerror = (event) => {
      event.preventDefault();
      this.fail(event.message || "the worker could not load the show");
    };
    const packer = this.startPacker();
    this.worker.postMessage({ files, spacingSeconds, packer }, packer ? [packer] : []);
    return true;
  }

  // The packer's end of a channel for the preparation, or null.
  startPacker() {
    try {
      this.packer = new Worker(new URL("./packing.js", import.meta.url), { type: "module" });
    } catch (error) {
      this.packer = null;
      return null;
    }
    // The preparation waits for its packed checkpoints: a packer that cannot load ends it.
    this.packer.onerror = (event) => {
      event.preventDefault();
      this.fail(event.message || "the packing worker could not load");
    };
    const channel = new MessageChannel();
    this.packer.postMessage({ port: channel.port1 }, [channel.port1]);
    return channel.port2;
  }

  // Both workers' ends.
  stopWorkers() {
    if (this.worker)
      this.worker.terminate();
    if (this.packer)
      this.packer.terminate();
  }

  receive(message) {
    if (message.kind === "failed")
      return this.fail(message.reason);
    this.scenes = message.scenes;
    this.seconds = message.seconds;
    this.packSeconds = message.packSeconds;
    this.spacing = message.spacing;
    this.passEnd = message.passEnd;
    if (message.kind === "checkpoint") {
      this.frames.splice(this.firstIndexAfter(message.frame), 0, message.frame);
      this.packed.set(message.frame, message.packed);
      this.packedBytes += message.packed.length;
      this.stateBytes = message.bytes;
    } else if (message.kind === "done") {
      this.done = true;
      this.stopWorkers();
    }
    this.onChange();
    if (this.arrival) {
      this.arrival();
      this.arrival = null;
    }
  }

  fail(reason) {
    if (this.failed)
      return;
    this.failed = true;
    this.failure = reason;
    console.warn(`the preparation stopped: ${reason}`);
    this.stopWorkers();
    this.onFailure(reason);
    if (this.arrival)
      this.arrival();
  }

  // Whether a checkpoint may still come (a seek past what is prepared can wait for one).
  get working() {
    return !this.done && !this.failed && !!this.worker;
  }

  // The frame of the latest checkpoint, or -1.
  get lastFrame() {
    return this.frames.length ? this.frames[this.frames.length - 1] : -1;
  }

  // The frame up to which a seek finds a checkpoint at most a spacing before it.
  get preparedFrame() {
    if (this.done)
      return this.passEnd;
    if (!this.frames.length)
      return 0;
    return Math.min(this.passEnd, this.frames[this.frames.length - 1] + this.spacing);
  }

  // The frame of the last checkpoint at or before `frame`, or -1.
  latestAtOrBefore(frame) {
    const after = this.firstIndexAfter(frame);
    return after > 0 ? this.frames[after - 1] : -1;
  }

  // The index of the first checkpoint after `frame`.
  firstIndexAfter(frame) {
    let low = 0, high = this.frames.length;
    while (low < high) {
      const middle = (low + high) >> 1;
      if (this.frames[middle] <= frame)
        low = middle + 1;
      else
        high = middle;
    }
    return low;
  }

  // The show's state before `frame`, unpacked.
  unpack(frame) {
    return unpackCheckpoint(this.packed.get(frame));
  }

  // Resolves when the next message arrives (or at once when none will).
  nextArrival() {
    if (!this.working)
      return Promise.resolve();
    return new Promise((resolve) => {
      const earlier = this.arrival;
      this.arrival = () => {
        if (earlier)
          earlier();
        resolve();
      };
    });
  }
}
