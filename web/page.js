// The page's side of the show: downloads the prepared files (the loading gauge shows how far),
// puts the pictures where the show's loader reads them, and steps the show's driver once per
// animation frame at the show's time: the music heard, or the page's own clock while no sound
// plays (see clock.js). A Web Worker prepares checkpoints of the first pass for seeks meanwhile
// (checkpoints.js), and media controls sit over the canvas (controls.js). ?autoplay starts
// without a click (tests); ?check=N1,N2,... draws frames 0..max(N) silently and reports their
// hashes in #check; with &from=SECONDS the check jumps to that time first, as the show's jumps
// do, and draws from the frame there; it also reports how many threads draw. ?threads=N draws
// on N threads where the page may use threads at all (threads.js). #stage's data-music names
// the music file the browser took, data-clock says which clock leads ("audio" or "page"),
// data-seeking is "fast-forward" while a seek draws its way past what is prepared, data-threads
// says how many threads draw.

import { ShowClock, musicOffset } from "./clock.js";
import { Preparation } from "./checkpoints.js";
import { MediaControls } from "./controls.js";
import { pageDrawingBuild, plainBuild } from "./threads.js";

const params = new URLSearchParams(location.search);
const checkFrames = params.has("check") ? params.get("check").split(",").map(Number) : null;
const checkFrom = Number(params.get("from") ?? 0);
const startAt = Math.max(0, Number(params.get("t") ?? 0) || 0);
const autoplay = params.has("autoplay");
const canvas = document.getElementById("screen");
const stage = document.getElementById("stage");
const message = document.getElementById("message");

function say(text) {
  message.textContent = text;
  message.parentElement.hidden = !text;
}

// A message that goes away by itself, unless another has replaced it by then.
function sayBriefly(text, seconds) {
  say(text);
  setTimeout(() => { if (message.textContent === text) say(""); }, seconds * 1000);
}

function fail(text) {
  say(text);
  message.style.color = "#f88";
  if (checkFrames)
    document.getElementById("check").textContent = "error: " + text;
  throw new Error(text);
}

// A fetched file's bytes; `progress(n)` is told of every chunk that arrives.
async function download(url, progress) {
  let response;
  try {
    response = await fetch(url);
  } catch (error) {
    fail(`${url}: cannot be fetched (${error.message})`);
  }
  if (!response.ok)
    fail(`${url}: missing (HTTP ${response.status})`);
  const reader = response.body.getReader();
  const chunks = [];
  let length = 0;
  for (;;) {
    const { done, value } = await reader.read();
    if (done)
      break;
    chunks.push(value);
    length += value.length;
    progress(value.length);
  }
  const bytes = new Uint8Array(length);
  let at = 0;
  for (const chunk of chunks) {
    bytes.set(chunk, at);
    at += chunk.length;
  }
  return bytes;
}

// A PNG decoded by the browser, as a 24-bit bottom-up BMP file that the show's own loader reads.
async function pngToBmp(url, bytes) {
  let image;
  try {
    image = await createImageBitmap(new Blob([bytes], { type: "image/png" }),
                                    { colorSpaceConversion: "none", premultiplyAlpha: "none" });
  } catch (error) {
    fail(`${url}: damaged (not a picture the browser can decode)`);
  }
  const { width, height } = image;
  const context = new OffscreenCanvas(width, height).getContext("2d", { willReadFrequently: true });
  context.drawImage(image, 0, 0);
  const rgba = context.getImageData(0, 0, width, height).data;
  const rowBytes = (width * 3 + 3) & ~3;
  const size = 54 + rowBytes * height;
  const bmp = new Uint8Array(size);
  const view = new DataView(bmp.buffer);
  bmp[0] = 0x42, bmp[1] = 0x4D;
  view.setUint32(2, size, true);
  view.setUint32(10, 54, true);
  view.setUint32(14, 40, true);
  view.setInt32(18, width, true);
  view.setInt32(22, height, true);
  view.setUint16(26, 1, true);
  view.setUint16(28, 24, true);
  view.setUint32(34, rowBytes * height, true);
  for (let y = 0; y < height; ++y) {
    let out = 54 + (height - 1 - y) * rowBytes;
    for (let x = 0, from = y * width * 4; x < width; ++x, from += 4) {
      bmp[out++] = rgba[from + 2];
      bmp[out++] = rgba[from + 1];
      bmp[out++] = rgba[from];
    }
  }
  return bmp;
}

// The sound's first file that this browser decodes, in the site's order of preference (the
// smallest first); the others are downloaded only when it fails. The decoding is tried here,
// while the page loads, so that the click starts the show at once.
async function loadMusic(candidates, download) {
  if (!candidates.length)
    fail("data/files.json: no music listed");
  const Offline = window.OfflineAudioContext || window.webkitOfflineAudioContext;
  if (!Offline)
    fail("this browser has no Web Audio");
  const decoder = new Offline(2, 1, 48000);
  for (const file of candidates) {
    say(`loading ${file.url}`);
    const bytes = await download(file);
    say("preparing the sound");
    try {
      const buffer = await decodeAudio(decoder, bytes.buffer);
      stage.dataset.music = file.url.split("/").pop();
      return buffer;
    } catch (error) {
      console.warn(`${file.url}: not decoded (${error ? error.message || error : "no reason given"})`);
    }
  }
  fail(`${candidates.map((file) => file.url).join(", ")}: damaged, or in no format this browser decodes`);
}

// decodeAudioData in its callback form, which older engines have without the promise.
function decodeAudio(context, bytes) {
  return new Promise((resolve, reject) => {
    const promise = context.decodeAudioData(bytes, resolve, reject);
    if (promise && promise.catch)
      promise.catch(reject);
  });
}

function newAudioContext() {
  try {
    return new AudioContext({ sampleRate: 48000 });
  } catch (error) {
    const Context = window.AudioContext || window.webkitAudioContext;
    return new Context();
  }
}

function waitForClick(text) {
  say(text);
  return new Promise((resolve) => stage.addEventListener("click", resolve, { once: true }));
}

// The build's module factory with the build. A host that has the build with threads missing
// gets the page on one thread. The threads' worker script is asked for first: Emscripten 3.1.6
// waits for ever on a pool worker whose script does not load.
async function loadBuild(build) {
  try {
    if (build.script !== plainBuild.script) {
      const worker = build.script.replace(/\.js$/, ".worker.js");
      const response = await fetch(worker, { method: "HEAD" });
      if (!response.ok)
        throw new Error(`${worker.slice(2)} answered ${response.status}`);
    }
    return { ...build, create: (await import(build.script)).default };
  } catch (error) {
    const problem = `${build.script.slice(2)}: cannot be loaded (${error.message})`;
    if (build.script === plainBuild.script)
      fail(problem);
    console.warn(`${problem}; drawing on one thread`);
    return loadBuild(plainBuild);
  }
}

async function main() {
  if (typeof WebAssembly !== "object")
    fail("this browser has no WebAssembly");
  const files = JSON.parse(new TextDecoder().decode(await download("data/files.json", () => {})));
  const musicFiles = files.filter((file) => file.kind === "music");
  // The gauge counts the preferred music file; a fallback adds its own bytes when it is needed.
  let total = files.filter((file) => file.kind !== "music" || file === musicFiles[0])
                  .reduce((sum, file) => sum + file.bytes, 0);
  const build = await loadBuild(pageDrawingBuild(params));
  const show = await build.create({ canvas });
  const call = (name, ...args) => {
    const result = show.ccall(name, "number", args.map(() => "number"), args);
    if (result < 0)
      fail(show.UTF8ToString(show.ccall("velmora_error", "number", [], [])));
    return result;
  };
  const threads = call("velmora_use_threads", build.threads);
  stage.dataset.threads = threads;
  window.velmora = { threads };
  show.FS.mkdir("/Data");

  // The first picture is the gauge's; from then on the gauge shows the bytes that have arrived.
  let arrived = 0;
  let gaugeOpen = false, gaugeDue = false;
  const progress = (n) => {
    arrived += n;
    if (gaugeOpen && !gaugeDue) {
      gaugeDue = true;
      requestAnimationFrame(() => { gaugeDue = false; call("velmora_gauge", arrived / total); });
    }
  };
  const ordered = files.filter((file) => file.kind !== "music")
                       .sort((a, b) => (b.name === "x1.jpg") - (a.name === "x1.jpg"));
  // The files as the show reads them, for the preparation's copy of the show.
  const showFiles = [];
  for (const file of ordered) {
    say(`loading ${file.url}`);
    const bytes = await download(file.url, progress);
    if (file.kind === "picture") {
      const bmp = await pngToBmp(file.url, bytes);
      show.FS.writeFile("/Data/" + file.name, bmp);
      showFiles.push({ name: file.name, bytes: bmp });
      if (file.name === "x1.jpg") {
        call("velmora_open");
        gaugeOpen = true;
        call("velmora_gauge", arrived / total);
      }
    } else {
      const name = file.url.split("/").pop();
      show.FS.writeFile("/Data/" + name, bytes);
      showFiles.push({ name, bytes });
    }
  }
  // The check mode is silent: it needs no music.
  if (checkFrames) {
    gaugeOpen = false;
    call("velmora_gauge", 1);
    return runCheck(show, call, threads);
  }
  // The preparation starts as soon as the files are here, while the sound decodes and the page
  // waits for its click. Until its first checkpoint arrives, or if it cannot run, the page keeps
  // checkpoints of what it draws itself.
  let player = null;
  const preparation = new Preparation({
    onChange: () => player && player.prepared(),
    onFailure: () => player && player.keepOwnCheckpoints(),
  });
  preparation.start(showFiles);
  const buffer = await loadMusic(musicFiles, (file) => {
    if (file !== musicFiles[0])
      total += file.bytes;
    return download(file.url, progress);
  });
  gaugeOpen = false;
  call("velmora_gauge", 1);

  if (!autoplay)
    await waitForClick("click to start · double click or F for full screen · Space pauses · " +
                       "Left and Right seek · Home starts again · any other key ends the show");
  say("");
  const audio = newAudioContext();
  let source = null;
  call("velmora_start");
  // The show rate and the loop section are the prepared timeline's. The first pass, then the
  // loop section forever: Web Audio loops inside one buffer exactly.
  const fps = call("velmora_fps");
  const loopStart = call("velmora_loop_start");
  const loopEnd = call("velmora_loop_end");
  const stopMusic = () => {
    if (source)
      source.stop();
    source = null;
  };
  // The music from show time `at` on, starting when the context's clock reads `when`.
  const playMusic = (at, when) => {
    stopMusic();
    source = audio.createBufferSource();
    source.buffer = buffer;
    source.loop = true;
    source.loopStart = loopStart;
    source.loopEnd = loopEnd;
    source.connect(audio.destination);
    source.start(when, musicOffset(at, loopStart, loopEnd));
  };
  const clock = new ShowClock(audio, () => performance.now() / 1000, playMusic, {
    onSilent: () => {
      stage.dataset.clock = "page";
      sayBriefly("no sound device: playing without sound", 5);
    },
    onSound: () => { stage.dataset.clock = "audio"; },
  });
  // The clock starts at the show time the music is asked to play from.
  let playFrom = 0;
  show.onMusicPlay = () => {
    stage.dataset.clock = "audio";
    clock.start(playFrom);
  };
  show.onMusicStop = () => {
    clock.stop();
    stopMusic();
  };
  show.musicSeconds = () => clock.seconds();
  // Not awaited: without a sound device some browsers never answer; the clock copes. A later
  // click may let a context start that the browser held back.
  audio.resume().catch(() => {});
  stage.addEventListener("click", () => {
    if (audio.state !== "running")
      audio.resume().catch(() => {});
  });
  player = new ShowPlayer(show, call, fps, Math.round(loopStart * fps), preparation,
                          (seconds) => { playFrom = seconds; }, threads);
  player.prepared();
  window.velmora = player.api();
  addEventListener("keydown", (event) => player.key(event));
  new MediaControls(stage, player, toggleFullScreen);
  if (startAt > 0)
    await player.seek(startAt);
  player.play();
}

// Without the preparation, the page keeps a checkpoint (about 6 MB) every 30 s of the frames it
// draws in order.
const checkpointSeconds = 30;
// Left and Right seek this far.
const seekSeconds = 10;
// A page that falls further behind than this (a tab in the background) skips frames rather than
// draw them all at once; seeks restore the show's state from a checkpoint again.
const catchUpFrames = 120;
// A seek that must draw further than a checkpoint's spacing fast-forwards: it draws this many
// frames at a time, so that the page shows it doing so and takes checkpoints that arrive meanwhile.
const fastForwardFrames = 30;

// The show as the page steps it: every frame in order, drawn at its time (a late one draws the
// frames it missed without showing them, so that every frame shown is the frame of a run from
// the start); pause, play and exact seeks for the keys and for window.velmora.
class ShowPlayer {
  constructor(show, call, fps, passEnd, preparation, setMusicStart, threads) {
    this.show = show;
    this.threads = threads;
    this.call = call;
    this.fps = fps;
    this.passEnd = passEnd;
    this.preparation = preparation;
    this.setMusicStart = setMusicStart;
    this.drawn = -1;
    // Whether the show's state is a run's from the start: false once a late page skips frames.
    this.inOrder = true;
    this.playing = false;
    this.stepping = false;
    this.seekingNow = false;
    this.playAfterSeek = false;
    this.ownCheckpoints = false;
    this.seeking = Promise.resolve();
    this.pendingSeek = null;
    this.keepOwnCheckpoints();
  }

  get passSeconds() {
    return this.passEnd / this.fps;
  }

  // The page keeps checkpoints itself while the preparation has sent none, or when it failed.
  keepOwnCheckpoints() {
    const own = this.preparation.failed || !this.preparation.frames.length;
    if (own !== this.ownCheckpoints) {
      this.ownCheckpoints = own;
      this.call("velmora_keep_checkpoints", own ? checkpointSeconds * this.fps : 0);
    }
  }

  // Told when the preparation sends more.
  prepared() {
    this.keepOwnCheckpoints();
  }

  get preparedSeconds() {
    return Math.max(this.preparation.preparedFrame, this.call("velmora_prepared_frame")) / this.fps;
  }

  // The first frames of the scenes of the first pass found so far, the preparation's and the
  // page's own, in seconds.
  sceneSeconds() {
    const frames = new Set(this.preparation.scenes);
    for (let i = 0, count = this.call("velmora_scene_count"); i < count; ++i)
      frames.add(this.call("velmora_scene_frame", i));
    return [...frames].filter((frame) => frame < this.passEnd).sort((a, b) => a - b).map((frame) => frame / this.fps);
  }

  frameAt(seconds) {
    return Math.max(0, Math.ceil(seconds * this.fps - 1e-9));
  }

  play() {
    if (this.seekingNow) {
      this.playAfterSeek = true;
      return;
    }
    if (this.playing)
      return;
    this.playing = true;
    this.setMusicStart((this.drawn + 1) / this.fps);
    this.call("velmora_play");
    if (!this.stepping) {
      this.stepping = true;
      requestAnimationFrame(() => this.step());
    }
  }

  // Playing, or about to once the seek under way is done.
  get willPlay() {
    return this.playing || this.playAfterSeek;
  }

  toggle() {
    if (this.willPlay)
      this.pause();
    else
      this.play();
  }

  pause() {
    this.playAfterSeek = false;
    if (!this.playing)
      return;
    this.playing = false;
    this.call("velmora_pause");
  }

  step() {
    if (!this.playing) {
      this.stepping = false;
      return;
    }
    const frame = Math.floor(this.show.musicSeconds() * this.fps);
    if (frame > this.drawn) {
      if (frame - this.drawn <= catchUpFrames)
        this.call("velmora_advance", frame);
      else
        this.inOrder = false;
      this.drawn = frame;
      if (this.call("velmora_frame", frame) === 1) {
        this.pause();
        this.stepping = false;
        return ended(() => this.seek(0).then(() => this.play()));
      }
    }
    requestAnimationFrame(() => this.step());
  }

  // Shows the frame at or after `seconds` and resolves once it is on the canvas; playing, the
  // show and its music go on from there. Seeks run one after another, in the order asked.
  seek(seconds) {
    return this.queueSeek(() => this.frameAt(seconds));
  }

  // A seek `seconds` away from the frame shown when its turn comes.
  seekBy(seconds) {
    return this.queueSeek(() => this.frameAt(Math.max(0, (this.drawn + 1) / this.fps + seconds)));
  }

  // While the seek bar is dragged: only the latest position waits its turn.
  seekCoalesced(seconds) {
    const waiting = this.pendingSeek !== null;
    this.pendingSeek = seconds;
    if (!waiting)
      this.queueSeek(() => {
        const frame = this.frameAt(this.pendingSeek);
        this.pendingSeek = null;
        return frame;
      }).catch((error) => fail(error.message));
  }

  queueSeek(target) {
    const run = this.seeking.then(() => this.seekFrame(target()));
    this.seeking = run.catch(() => {});
    return run;
  }

  // From the nearest of the show's state and the checkpoints at or before `frame`, draws on
  // without showing, then shows `frame`. A seek past what is prepared fast-forwards: it says so,
  // and waits for the preparation's checkpoints while the preparation is ahead, else draws a
  // slice at a time, restoring a checkpoint that arrives meanwhile when it is nearer.
  async seekFrame(frame) {
    const wasPlaying = this.playing || this.playAfterSeek;
    this.pause();
    // Space and the play button meanwhile decide whether the show plays on after the seek.
    this.seekingNow = true;
    this.playAfterSeek = wasPlaying;
    try {
      await this.drawSeek(frame);
    } finally {
      this.seekingNow = false;
    }
    if (this.playAfterSeek)
      this.play();
  }

  async drawSeek(frame) {
    let fastForwarding = false;
    const fastForward = async () => {
      if (fastForwarding)
        return new Promise((resolve) => setTimeout(resolve, 0));
      fastForwarding = true;
      stage.dataset.seeking = "fast-forward";
      say("fast-forwarding…");
      // A task after the next paint, so that the message is on screen.
      return new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
    };
    for (;;) {
      const next = this.call("velmora_next_frame");
      const here = this.inOrder && next <= frame ? next : -1;
      const kept = this.preparation.latestAtOrBefore(frame);
      if (kept > here) {
        await this.restore(kept);
        continue;
      }
      if (here < 0 || this.ownCheckpoints) {
        // Without the preparation: the driver's seek, from the page's own checkpoints.
        if (frame > this.call("velmora_prepared_frame") + catchUpFrames)
          await fastForward();
        this.call("velmora_seek", frame);
        this.inOrder = true;
        break;
      }
      if (frame - here <= this.preparation.spacing) {
        this.call("velmora_advance", frame);
        break;
      }
      await fastForward();
      // While the preparation draws ahead of the page, drawing here too would only slow it down.
      if (this.preparation.working && this.preparation.lastFrame >= here)
        await this.preparation.nextArrival();
      else
        this.call("velmora_advance", here + fastForwardFrames);
    }
    this.call("velmora_frame", frame);
    this.drawn = frame;
    delete stage.dataset.seeking;
    if (message.textContent === "fast-forwarding…" || message.querySelector("button"))
      say("");
  }

  // The preparation's checkpoint before `frame` into the show.
  async restore(frame) {
    const bytes = await this.preparation.unpack(frame);
    const where = this.call("velmora_checkpoint_bytes", bytes.length);
    // With threads the memory may have grown on another thread since the module last looked:
    // its HEAPU8 would then be a view of the old, shorter buffer.
    const heap = this.show.wasmMemory ? new Uint8Array(this.show.wasmMemory.buffer) : this.show.HEAPU8;
    heap.set(bytes, where);
    this.call("velmora_restore");
    this.inOrder = true;
  }

  key(event) {
    const actions = {
      " ": () => this.toggle(),
      ArrowLeft: () => this.seekBy(-seekSeconds),
      ArrowRight: () => this.seekBy(seekSeconds),
      Home: () => this.seek(0),
      f: toggleFullScreen,
      F: toggleFullScreen,
    };
    const action = actions[event.key];
    if (!action) {
      this.show.keyPressed = true; // any other key ends the show
      return;
    }
    event.preventDefault();
    const done = action();
    if (done && done.catch)
      done.catch((error) => fail(error.message));
  }

  // window.velmora, for scripts and tests.
  api() {
    const player = this;
    const preparation = this.preparation;
    return {
      // Resolves when the frame at or after `seconds` is on the canvas.
      seek: (seconds) => player.seek(seconds),
      pause: () => player.pause(),
      play: () => player.play(),
      // Seconds up to which a seek finds a checkpoint near its frame.
      get prepared() { return player.preparedSeconds; },
      // The preparation: whether it runs in a worker (else why not), its checkpoints, and how long it
      // took.
      get preparation() {
        return {
          worker: !preparation.failed,
          failure: preparation.failure,
          done: preparation.done,
          seconds: preparation.seconds,
          packSeconds: preparation.packSeconds,
          checkpoints: preparation.frames.length,
          packedBytes: preparation.packedBytes,
          stateBytes: preparation.stateBytes,
        };
      },
      // The frame on the canvas, and its hash (as the check mode gives it).
      get frame() { return player.drawn; },
      // How many threads draw the frames: more than one only on a cross-origin isolated page.
      threads: player.threads,
      get playing() { return player.willPlay; },
      frameHash: () => player.show.UTF8ToString(player.show.ccall("velmora_frame_hash", "number", [], [])),
    };
  }
}

function ended(startAgain) {
  say("");
  const button = document.createElement("button");
  button.textContent = "start again";
  button.onclick = () => startAgain().catch((error) => fail(error.message));
  message.textContent = "the show has ended ";
  message.append(button);
  message.parentElement.hidden = false;
}

// Frames from the start (or the jump to ?from=) up to the last asked for, each at k / fps, as fast
// as the page can, without sound and without showing them.
async function runCheck(show, call, threads) {
  say("checking");
  call("velmora_start");
  show.ccall("velmora_show_frames", null, ["number"], [0]);
  // The first frame at or after the time, as the native --at takes it.
  const first = Math.max(0, Math.ceil(checkFrom * call("velmora_fps") - 1e-9));
  if (first > 0) {
    say(`checking: jumping to frame ${first}`);
    await new Promise((resolve) => setTimeout(resolve, 0));
    call("velmora_seek", first); // the seek of the controls, from the start
  }
  call("velmora_play");
  const wanted = new Set(checkFrames);
  const last = Math.max(...checkFrames);
  const lines = [];
  const timing = [];
  let drawing = 0, segmentStart = first, segmentTime = 0;
  for (let frame = first; frame <= last; ) {
    const sliceStart = performance.now();
    for (; frame <= last && performance.now() - sliceStart < 200; ++frame) {
      if (frame === last)
        show.ccall("velmora_show_frames", null, ["number"], [1]); // the last one stays on the canvas
      const start = performance.now();
      call("velmora_frame", frame);
      const spent = performance.now() - start;
      drawing += spent;
      segmentTime += spent;
      if (wanted.has(frame)) {
        lines.push(`frame ${frame} ${show.UTF8ToString(show.ccall("velmora_frame_hash", "number", [], []))}`);
        timing.push(`frames ${segmentStart}-${frame} ${((frame - segmentStart + 1) / (segmentTime / 1000)).toFixed(1)} fps`);
        segmentStart = frame + 1;
        segmentTime = 0;
      }
    }
    say(`checking: frame ${frame} of ${last}`);
    await new Promise((resolve) => setTimeout(resolve, 0));
  }
  document.getElementById("timing").textContent = timing.join("\n");
  document.getElementById("check").textContent =
    ["done", ...lines, `seconds ${(drawing / 1000).toFixed(3)}`, `threads ${threads}`].join("\n") + "\n";
  say("");
}

function toggleFullScreen() {
  if (document.fullscreenElement)
    document.exitFullscreen();
  else
    stage.requestFullscreen().catch(() => {});
}

stage.addEventListener("dblclick", toggleFullScreen);

main().catch((error) => {
  if (!message.style.color)
    fail(`the show could not start: ${error.message}`);
});
