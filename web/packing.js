// The preparation's packer: a Web Worker of its own that compresses the checkpoints the
// preparation takes (preparation.js), so that the drawing goes on meanwhile on the other core.
// The page starts it and sends it { port }, one end of a channel whose other end the preparation
// has. Each message on the port is { id, bytes }; the answer is { id, packed, seconds } (`seconds`
// spent packing), or { id, reason } when it fails.

import { packCheckpoint } from "./checkpoints.js";

onmessage = ({ data: { port } }) => {
  port.onmessage = async ({ data: { id, bytes } }) => {
    const started = performance.now();
    try {
      const packed = await packCheckpoint(bytes);
      port.postMessage({ id, packed, seconds: (performance.now() - started) / 1000 }, [packed.buffer]);
    } catch (error) {
      port.postMessage({ id, reason: error.message || String(error) });
    }
  };
};
