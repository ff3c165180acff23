// The page's side of the show: downloads the prepared files (the loading gauge shows how far),
// puts the pictures where the show's loader reads them, and steps the show's driver once per
// animation frame at the time of the music heard. ?autoplay starts without a click (tests);
// ?check=N1,N2,... draws frames 0..max(N) silently and reports their hashes in #check.

import createVelmora from "./velmora.js";

const params = new URLSearchParams(location.search);
const checkFrames = params.has("check") ? params.get("check").split(",").map(Number) : null;
const autoplay = params.has("autoplay");
const canvas = document.getElementById("screen");
const stage = document.getElementById("stage");
const message = document.getElementById("message");

function say(text) {
  message.textContent = text;
  message.parentElement.hidden = !text;
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

function waitForClick(text) {
  say(text);
  return new Promise((resolve) => stage.addEventListener("click", resolve, { once: true }));
}

async function main() {
  if (typeof WebAssembly !== "object")
    fail("this browser has no WebAssembly");
  const files = JSON.parse(new TextDecoder().decode(await download("data/files.json", () => {})));
  const total = files.reduce((sum, file) => sum + file.bytes, 0);
  const show = await createVelmora({ canvas });
  const call = (name, ...args) => {
    const result = show.ccall(name, "number", args.map(() => "number"), args);
    if (result < 0)
      fail(show.UTF8ToString(show.ccall("velmora_error", "number", [], [])));
    return result;
  };
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
  let music = null;
  const ordered = [...files].sort((a, b) => (b.name === "x1.jpg") - (a.name === "x1.jpg"));
  for (const file of ordered) {
    say(`loading ${file.url}`);
    const bytes = await download(file.url, progress);
    if (file.kind === "picture") {
      show.FS.writeFile("/Data/" + file.name, await pngToBmp(file.url, bytes));
      if (file.name === "x1.jpg") {
        call("velmora_open", 60);
        gaugeOpen = true;
        call("velmora_gauge", arrived / total);
      }
    } else if (file.kind === "music") {
      music = bytes;
    } else {
      show.FS.writeFile("/Data/" + file.url.split("/").pop(), bytes);
    }
  }
  gaugeOpen = false;
  call("velmora_gauge", 1);

  if (checkFrames)
    return runCheck(show, call);

  if (!autoplay)
    await waitForClick("click to start · double click for full screen · any key ends the show");
  say("");
  const audio = new AudioContext({ sampleRate: 48000 });
  let buffer;
  try {
    buffer = await audio.decodeAudioData(music.buffer);
  } catch (error) {
    fail("data/music.opus: damaged (the browser cannot decode it)");
  }
  let source = null, startTime = 0;
  // The first pass, then the loop section forever: Web Audio loops inside one buffer exactly.
  const timeline = new DataView(show.FS.readFile("/Data/timeline.bin").buffer);
  const rate = timeline.getUint32(8, true);
  const loopStart = Number(timeline.getBigUint64(16, true)) / rate;
  const loopEnd = loopStart + Number(timeline.getBigUint64(24, true)) / rate;
  show.onMusicPlay = () => {
    source = audio.createBufferSource();
    source.buffer = buffer;
    source.loop = true;
    source.loopStart = loopStart;
    source.loopEnd = loopEnd;
    source.connect(audio.destination);
    startTime = audio.currentTime + 0.05;
    source.start(startTime);
  };
  show.onMusicStop = () => { if (source) source.stop(); };
  // The time of the audio heard, as the native clock; never before 0.
  show.musicSeconds = () => Math.max(0, audio.currentTime - startTime - (audio.outputLatency || 0));
  addEventListener("keydown", () => { show.keyPressed = true; });
  await audio.resume();
  call("velmora_start");
  call("velmora_play");

  let drawn = -1;
  const step = () => {
    const frame = Math.floor(show.musicSeconds() * 60);
    if (frame > drawn) {
      drawn = frame;
      if (call("velmora_frame", frame) === 1)
        return ended();
    }
    requestAnimationFrame(step);
  };
  requestAnimationFrame(step);
}

function ended() {
  say("");
  const button = document.createElement("button");
  button.textContent = "start again";
  button.onclick = () => location.reload();
  message.textContent = "the show has ended ";
  message.append(button);
  message.parentElement.hidden = false;
}

// Frames 0..max at k / 60, as fast as the page can, without sound and without showing them.
async function runCheck(show, call) {
  say("checking");
  call("velmora_start");
  show.ccall("velmora_show_frames", null, ["number"], [0]);
  call("velmora_play");
  const wanted = new Set(checkFrames);
  const last = Math.max(...checkFrames);
  const lines = [];
  const timing = [];
  let drawing = 0, segmentStart = 0, segmentTime = 0;
  for (let frame = 0; frame <= last; ) {
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
    ["done", ...lines, `seconds ${(drawing / 1000).toFixed(3)}`].join("\n") + "\n";
  say("");
}

stage.addEventListener("dblclick", () => {
  if (document.fullscreenElement)
    document.exitFullscreen();
  else
    stage.requestFullscreen().catch(() => {});
});

main().catch((error) => {
  if (!message.style.color)
    fail(`the show could not start: ${error.message}`);
});
