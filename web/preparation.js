// The preparation: a Web Worker with its own copy of the show, which draws the first pass from
// frame 0 without showing it and sends the page the show's state every `spacing` frames,
// compressed (checkpoints.js) meanwhile by the packer (packing.js), which the page starts beside
// it. The page restores them to seek (page.js). It is given the files the page has loaded, as the
// page wrote them for the show's loader, and a port to the packer (or none), and reports:
//   { kind: "checkpoint", frame, packed, bytes, ... }  the state before `frame`, `bytes` unpacked
//   { kind: "done", ... }                              the first pass is prepared
//   { kind: "failed", reason }                         the page seeks without it
// Both first ones also carry `scenes` (the first frames of the scenes seen so far), `seconds`
// (since the worker started), `packSeconds` (of them, compressing), `spacing` and `passEnd` (the
// first pass's end), in frames.
// It draws with the module without threads, on one thread, even where the page draws on several:
// the page's frames are due on time, the checkpoints only ahead of the seeks, so the page's
// drawing threads keep the cores and the preparation runs in the time they leave.

import createVelmora from "./velmora.js";
import { packCheckpoint } from "./checkpoints.js";

onmessage = ({ data }) => {
  prepare(data).catch((error) => postMessage({ kind: "failed", reason: error.message || String(error) }));
};

async function prepare({ files, spacingSeconds, packer: packerPort }) {
  const started = performance.now();
  const elapsed = () => (performance.now() - started) / 1000;
  // No canvas: the copy presents nothing, and its console only keeps the last frame.
  const show = await createVelmora({ canvas: {} });
  const call = (name, ...args) => {
    const result = show.ccall(name, "number", args.map(() => "number"), args);
    if (result < 0)
      throw new Error(show.UTF8ToString(show.ccall("velmora_error", "number", [], [])));
    return result;
  };
  show.FS.mkdir("/Data");
  for (const { name, bytes } of files)
    show.FS.writeFile("/Data/" + name, bytes);
  call("velmora_open");
  call("velmora_show_frames", 0);
  call("velmora_start");
  const fps = call("velmora_fps");
  const passEnd = Math.round(call("velmora_loop_start") * fps);
  const spacing = Math.max(1, Math.round(spacingSeconds * fps));
  const scenes = () => {
    const frames = [];
    for (let i = 0, count = call("velmora_scene_count"); i < count; ++i)
      frames.push(call("velmora_scene_frame", i));
    return frames;
  };
  const packer = new Packer(packerPort);
  const progress = () => ({ scenes: scenes(), seconds: elapsed(), packSeconds: packer.seconds, spacing, passEnd });
  // Checkpoints being packed, oldest first: at most `packingAhead` at a time (6 MB each unpacked).
  const packing = [];
  for (let frame = 0; frame < passEnd; frame += spacing) {
    call("velmora_advance", frame);
    const size = call("velmora_checkpoint");
    const where = call("velmora_checkpoint_bytes", size);
    packing.push(packer.pack(show.HEAPU8.slice(where, where + size)).then((packed) => {
      postMessage({ kind: "checkpoint", frame, packed, bytes: size, ...progress() }, [packed.buffer]);
    }));
    while (packing.length >= packingAhead)
      await packing.shift();
  }
  await Promise.all(packing);
  // The scenes after the last checkpoint.
  call("velmora_advance", passEnd);
  postMessage({ kind: "done", ...progress() });
  call("velmora_end");
}

const packingAhead = 2;

// Packs checkpoints through the port to the packer, in the order given, or here without one.
class Packer {
  constructor(port) {
    this.seconds = 0;
    this.waiting = new Map(); // id -> { resolve, reject }
    this.nextId = 0;
    this.port = port || null;
    if (!this.port)
      return;
    this.port.onmessage = ({ data }) => {
      const { resolve, reject } = this.waiting.get(data.id);
      this.waiting.delete(data.id);
      if (data.reason)
        return reject(new Error(data.reason));
      this.seconds += data.seconds;
      resolve(data.packed);
    };
  }

  async pack(bytes) {
    if (!this.port) {
      const started = performance.now();
      const packed = await packCheckpoint(bytes);
      this.seconds += (performance.now() - started) / 1000;
      return packed;
    }
    const id = this.nextId++;
    return new Promise((resolve, reject) => {
      this.waiting.set(id, { resolve, reject });
      this.port.postMessage({ id, bytes }, [bytes.buffer]);
    });
  }
}
