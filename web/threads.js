// Which build of the show the page draws with. Threads share the module's memory, which a browser
// allows only on a cross-origin isolated page (served with the headers `make serve` sends:
// Cross-Origin-Opener-Policy: same-origin, Cross-Origin-Embedder-Policy: require-corp). Elsewhere,
// a plain static host, the page draws on one thread with the build that has none.

// The build with threads starts this many drawing threads at most (its pool of workers and the
// page's own thread; web/Web.cmake).
export const drawingThreadsMax = 4;

export const plainBuild = Object.freeze({ script: "./velmora.js", threads: 1 });

// { script, threads }: the module's script and how many threads to draw on. `isolated` is
// self.crossOriginIsolated, `sharedMemory` whether SharedArrayBuffer exists, `cores`
// navigator.hardwareConcurrency (may be missing), `asked` the page's ?threads= (may be missing).
export function drawingBuild({ isolated, sharedMemory, cores, asked }) {
  if (!isolated || !sharedMemory)
    return plainBuild;
  const wanted = Number.isInteger(asked) && asked > 0 ? asked : Number.isInteger(cores) && cores > 0 ? cores : 1;
  return { script: "./velmora-threads.js", threads: Math.min(wanted, drawingThreadsMax) };
}

// The build for this page.
export function pageDrawingBuild(params) {
  const asked = params.has("threads") ? Number(params.get("threads")) : undefined;
  return drawingBuild({
    isolated: self.crossOriginIsolated === true,
    sharedMemory: typeof SharedArrayBuffer === "function",
    cores: navigator.hardwareConcurrency,
    asked,
  });
}
