// The web site in the three browser engines Debian packages, against the native program:
//
// 1. The page's check mode (?check=...) draws frames of the first pass; their hashes must equal
//    those of the native program's --png-dir frames of the same indices. The slower engines
//    check the first scenes only.
//    A jump in the check mode (&from=) lands on the same frames as the run from the start.
// 2. A short play after a real click: the canvas must move between two screenshots. Without a
//    sound device (Firefox here) the page must say so and play on its own clock.
// 3. Seeks through window.velmora show the frames of the run from the start. ?t= starts exactly
//    there, drawing every frame before it; a seek past what is prepared fast-forwards and says
//    so; once the preparation (a Web Worker drawing ahead) covers the targets, seeks to prepared
//    times restore its checkpoints: their latency is printed, and in Chromium the time the
//    preparation took for the whole first pass and its checkpoints' count and bytes. In Chromium
//    and Firefox the media controls' play/pause button pauses the show and resumes it.
// 4. In Chromium: the music's fallback encoding (the preferred file damaged), a sound device
//    lost while playing and back (the context suspended and resumed: the page's clock takes over
//    and hands back), the preparation's script missing (seeks from the page's own checkpoints
//    give the native frames), and the end of the show in full screen with its message and button
//    visible.
// 5. Served with the headers that make the page cross-origin isolated (scripts/serve), the page
//    loads the build with threads and draws on more than one: its check mode, a jump and prepared
//    seeks must still give the native frames. Served without them, as a plain static host, every
//    check above runs on the build without threads (one drawing thread). An engine that does not
//    give the page shared memory with the headers (WebKitGTK keeps SharedArrayBuffer off) must
//    leave it on one thread; the report says so.
//
// Chromium and Firefox run headless through puppeteer-core, WebKitGTK's MiniBrowser through
// WebKitWebDriver and selenium-webdriver (it needs a display: run under xvfb-run). The site is
// served by a separate process (WebKit's requests stall when the server shares the driver's).
//
//   node tests/web/browsers.mjs --site build-web/site --velmora build/velmora --data .
//        [--engines chromium,firefox,webkit] [--check-up-to FRAME] [--screenshot FILE]

import { spawn, spawnSync } from "node:child_process";
import fs from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import { parseArgs } from "node:util";

import puppeteer from "puppeteer-core";
import { Builder, By } from "selenium-webdriver";

import { spacingSeconds } from "../../web/checkpoints.js";

// How far each engine checks (the check mode draws every frame up to the last one asked for).
const checkLimits = { chromium: 24000, firefox: 9000, webkit: 4200 };
// The same with threads: the scenes that split their work over the threads (the swirl, the terrain
// flight, the lens) in every engine that isolates the page; Chromium checks the whole first pass.
const threadedCheckLimits = { chromium: 24000, firefox: 9000, webkit: 4200 };
// Prepared seeks on the page with threads: frames just before a checkpoint.
const threadedSeekFrames = [3000, 7201];
const siteLimitBytes = 40 * 1024 * 1024;
const noSoundMessage = "no sound device: playing without sound";
// The check mode's jumps: into the swirl, the terrain flight and the fractal; each engine takes
// those within its check's reach.
const jumpTimes = [50.0, 120.01, 250.5];
// Seeks once prepared: the jumps' times, and frames just before a checkpoint (every 3 s), where a
// seek draws the most frames after restoring one. The slower engines, whose preparation takes
// longer, seek in the first 150 s only.
const preparedSeekFrames = [3000, 8999, 7201, 15030, 21599, 3000];
const preparedSeekFramesOf = (engine) =>
  (engine === "chromium" ? preparedSeekFrames : preparedSeekFrames.filter((frame) => frame < 9000));
// How long each engine may take to prepare what the prepared seeks need (Chromium: the whole
// first pass, whose time is the one the page must keep within 150 s).
const preparationLimitSeconds = 300;
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// ---- what the page must show: the native frames' hashes ----

// FNV-1a 64 over the bytes B, G, R, 0 of every pixel, rows from the top: the page's frame hash.
// Computed on 16-bit limbs, so that it needs no BigInt arithmetic per byte.
function frameHash(bgr) {
  let h0 = 0x2325, h1 = 0x8422, h2 = 0x9ce4, h3 = 0xcbf2;
  const step = (byte) => {
    h0 ^= byte;
    // h * 0x100000001b3 = h * 0x1b3 + (h << 40)
    let t0 = h0 * 0x1b3, t1 = h1 * 0x1b3, t2 = h2 * 0x1b3 + h0 * 0x100, t3 = h3 * 0x1b3 + h1 * 0x100;
    t1 += t0 >>> 16;
    t2 += t1 >>> 16;
    t3 += t2 >>> 16;
    h0 = t0 & 0xffff, h1 = t1 & 0xffff, h2 = t2 & 0xffff, h3 = t3 & 0xffff;
  };
  for (let i = 0; i < bgr.length; i += 3) {
    step(bgr[i]), step(bgr[i + 1]), step(bgr[i + 2]), step(0);
  }
  return [h3, h2, h1, h0].map((limb) => limb.toString(16).padStart(4, "0")).join("");
}

// Pixels of PNG files (or of a PNG in memory, `input`) as raw bytes, through ffmpeg.
function rawPixels(inputArgs, pixelFormat, input) {
  const result = spawnSync("ffmpeg", ["-v", "error", ...inputArgs, "-f", "rawvideo", "-pix_fmt", pixelFormat, "-"],
                           { input, maxBuffer: 1 << 30 });
  if (result.status !== 0)
    throw new Error(`ffmpeg could not decode PNG: ${result.stderr}`);
  return result.stdout;
}

// Runs beside the first browser (the machine's other core).
async function nativeHashes(velmora, data, frames, fps) {
  const out = fs.mkdtempSync(path.join(os.tmpdir(), "velmora-frames-"));
  try {
    const times = frames.map((frame) => String(frame / fps)).join(",");
    const run = spawn(velmora, ["--data", data, "--png-dir", out, "--fps", String(fps), "--snapshot", times],
                      { stdio: ["ignore", "ignore", "inherit"] });
    const status = await new Promise((resolve) => run.on("exit", resolve));
    if (status !== 0)
      throw new Error(`${velmora} --snapshot failed`);
    const names = frames.map((frame) => `frame${String(frame).padStart(6, "0")}.png`);
    for (const name of names)
      if (!fs.existsSync(path.join(out, name)))
        throw new Error(`${velmora} wrote no ${name}`);
    const bgr = rawPixels(["-pattern_type", "glob", "-i", path.join(out, "frame*.png")], "bgr24");
    const frameBytes = bgr.length / fs.readdirSync(out).filter((name) => name.endsWith(".png")).length;
    const hashes = new Map();
    const sorted = [...frames].sort((a, b) => a - b);
    sorted.forEach((frame, i) => hashes.set(frame, frameHash(bgr.subarray(i * frameBytes, (i + 1) * frameBytes))));
    return hashes;
  } finally {
    fs.rmSync(out, { recursive: true, force: true });
  }
}

// Frames spread over the first pass (every scene gets several), up to frame 24000.
function firstPassFrames(site, fps) {
  const head = fs.readFileSync(path.join(site, "data", "timeline.bin")).subarray(0, 32);
  const rate = head.readUInt32LE(8);
  const loopStart = Number(head.readBigUInt64LE(16));
  const last = Math.min(24000, Math.floor((loopStart * fps) / rate) - 1);
  const frames = new Set([1, 2, 60, last]);
  for (let frame = 0; frame < last; frame += 450)
    frames.add(frame);
  return [...frames].sort((a, b) => a - b);
}

// The frames the check mode draws after a jump to `seconds`: the first at or after the time, the
// next, and one a second later.
function jumpFrames(seconds, fps) {
  const first = Math.ceil(seconds * fps - 1e-9);
  return [first, first + 1, first + fps];
}

function siteBytes(folder) {
  let total = 0;
  for (const entry of fs.readdirSync(folder, { withFileTypes: true })) {
    const where = path.join(folder, entry.name);
    total += entry.isDirectory() ? siteBytes(where) : fs.statSync(where).size;
  }
  return total;
}

// ---- the site's server, a process of its own ----

// The site's server: scripts/serve, with the headers that isolate the page or, as a plain static
// host, without them.
async function serve(site, isolated) {
  const script = path.join(path.dirname(new URL(import.meta.url).pathname), "..", "..", "scripts", "serve");
  const server = spawn(script, ["--port", "0", ...(isolated ? [] : ["--no-isolation"]), site],
                       { stdio: ["ignore", "pipe", "inherit"] });
  const port = await new Promise((resolve, reject) => {
    let text = "";
    server.stdout.on("data", (chunk) => {
      text += chunk;
      const found = /127\.0\.0\.1:(\d+)/.exec(text);
      if (found)
        resolve(Number(found[1]));
    });
    server.on("exit", () => reject(new Error("the site's server did not start")));
  });
  server.stdout.resume();
  return { base: `http://127.0.0.1:${port}`, close: () => server.kill() };
}

function freePort() {
  return new Promise((resolve, reject) => {
    const probe = net.createServer();
    probe.on("error", reject);
    probe.listen(0, "127.0.0.1", () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

// ---- one page in one engine: the same few calls over puppeteer and WebDriver ----

class PuppeteerPage {
  static async launch(engine) {
    const options = engine === "firefox"
      ? { browser: "firefox", executablePath: "/usr/bin/firefox-esr", headless: true }
      : { executablePath: "/usr/bin/chromium", headless: true,
          args: process.getuid() === 0 ? ["--no-sandbox"] : [] };
    const browser = await puppeteer.launch({ ...options, defaultViewport: { width: 1024, height: 768 } });
    return new PuppeteerPage(browser, await browser.newPage());
  }
  constructor(browser, page) { this.browser = browser; this.page = page; }
  async open(url) { await this.page.goto(url, { waitUntil: "load", timeout: 120000 }); }
  evaluate(expression) { return this.page.evaluate(expression); }
  async screenshot() { return Buffer.from(await this.page.screenshot({ type: "png" })); }
  click(selector, count = 1) { return this.page.click(selector, { count }); }
  press(key) { return this.page.keyboard.press(key); }
  async close() { await this.browser.close(); }
}

class WebDriverPage {
  static async launch() {
    const port = await freePort();
    const driverProcess = spawn("WebKitWebDriver", [`--port=${port}`], { stdio: "ignore" });
    const server = `http://127.0.0.1:${port}`;
    for (let tries = 0; ; ++tries) {
      try {
        if ((await fetch(`${server}/status`)).ok)
          break;
      } catch (error) {
        if (tries > 100) {
          driverProcess.kill();
          throw new Error("WebKitWebDriver did not start");
        }
      }
      await sleep(100);
    }
    const capabilities = {
      browserName: "MiniBrowser",
      "webkitgtk:browserOptions": {
        binary: "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser",
        args: ["--automation"],
      },
    };
    try {
      const driver = await new Builder().usingServer(server).withCapabilities(capabilities).build();
      // A seek that fast-forwards is a script that runs for a while.
      await driver.manage().setTimeouts({ script: 300000 });
      return new WebDriverPage(driver, driverProcess);
    } catch (error) {
      driverProcess.kill();
      throw error;
    }
  }
  constructor(driver, driverProcess) { this.driver = driver; this.driverProcess = driverProcess; }
  // WebDriver's navigation returns once the page has loaded; scripts run after it only.
  open(url) { return this.driver.get(url); }
  evaluate(expression) { return this.driver.executeScript(`return (${expression});`); }
  async screenshot() { return Buffer.from(await this.driver.takeScreenshot(), "base64"); }
  click(selector) { return this.driver.findElement(By.css(selector)).click(); }
  async close() {
    try {
      await this.driver.quit();
    } finally {
      this.driverProcess.kill();
    }
  }
}

const launch = (engine) => (engine === "webkit" ? WebDriverPage.launch() : PuppeteerPage.launch(engine));

// ---- what is checked ----

const pageError = "(document.getElementById('message').style.color ? " +
                  "document.getElementById('message').textContent : '')";
const messageText = "document.getElementById('message').textContent";
// What the page knows of its preparation, for a message when it does not come.
const preparationState = "({ prepared: window.velmora.prepared, ...window.velmora.preparation })";

// `detail`, where given, is an expression whose value the message on a timeout also gives.
// WebKitWebDriver now and then fails to read back a script's result while a page it has just
// opened settles ("Could not parse script result"). What waitFor polls only reads the page, so such
// a poll is simply made again, a few times in a row at most.
const unreadableResult = "Could not parse script result";
const unreadablePollsAllowed = 5;

async function waitFor(page, expression, seconds, what, detail) {
  const deadline = Date.now() + seconds * 1000;
  for (let unreadable = 0; ;) {
    let value;
    try {
      value = await page.evaluate(expression);
      unreadable = 0;
    } catch (error) {
      if (!String(error.message).includes(unreadableResult) || ++unreadable > unreadablePollsAllowed)
        throw error;
      await sleep(100);
      continue;
    }
    if (value)
      return value;
    const error = await page.evaluate(pageError);
    if (error)
      throw new Error(`${what}: the page says "${error}"`);
    if (Date.now() > deadline)
      throw new Error(`${what}: not within ${seconds} s (the page says "${await page.evaluate(messageText)}"` +
                      `${detail ? `; ${JSON.stringify(await page.evaluate(detail))}` : ""})`);
    await sleep(100);
  }
}

async function checkMode(page, base, frames, from) {
  await page.open(`${base}/index.html?check=${frames.join(",")}${from ? `&from=${from}` : ""}`);
  const text = await waitFor(page, "(document.getElementById('check').textContent.match(/^(done|error)/) ? " +
                                   "document.getElementById('check').textContent : '')", 900, "check mode");
  if (!text.startsWith("done"))
    throw new Error(`check mode: ${text.trim()}`);
  const hashes = new Map();
  let seconds = NaN, threads = NaN;
  for (const line of text.split("\n").slice(1)) {
    const words = line.split(" ");
    if (words[0] === "frame")
      hashes.set(Number(words[1]), words[2]);
    else if (words[0] === "seconds")
      seconds = Number(words[1]);
    else if (words[0] === "threads")
      threads = Number(words[1]);
  }
  return { hashes, seconds, threads };
}

function distinctColours(png) {
  const rgb = rawPixels(["-f", "png_pipe", "-i", "-"], "rgb24", png);
  const colours = new Set();
  for (let i = 0; i + 2 < rgb.length; i += 3 * 61)
    colours.add((rgb[i] << 16) | (rgb[i + 1] << 8) | rgb[i + 2]);
  return colours.size;
}

// The show moves: two screenshots half a second apart differ, and the second is not blank.
async function showMoves(page, keep) {
  const before = await page.screenshot();
  await sleep(500);
  const after = await page.screenshot();
  if (keep)
    fs.writeFileSync(keep, after);
  const colours = distinctColours(after);
  const problems = [];
  if (before.equals(after))
    problems.push("the canvas did not move");
  if (colours < 16)
    problems.push(`only ${colours} colours on screen`);
  return { problems, colours };
}

// Loads the page, clicks, and watches it play for a few seconds.
async function play(engine, page, base, keep) {
  await page.open(`${base}/index.html`);
  await waitFor(page, `${messageText}.startsWith('click to start')`, 180, "loading");
  const music = await page.evaluate("document.getElementById('stage').dataset.music");
  await page.click("#stage");
  const problems = [];
  let sawNoSound = false;
  const deadline = Date.now() + 4000;
  while (Date.now() < deadline) {
    sawNoSound ||= (await page.evaluate(messageText)) === noSoundMessage;
    await sleep(100);
  }
  const clock = await page.evaluate("document.getElementById('stage').dataset.clock");
  if (engine === "firefox" && !sawNoSound)
    problems.push(`no "${noSoundMessage}" (Firefox here has no sound device)`);
  const moving = await showMoves(page, keep);
  problems.push(...moving.problems);
  const error = await page.evaluate(pageError);
  if (error)
    problems.push(`the page says "${error}"`);
  return { music, clock, sawNoSound, colours: moving.colours, problems };
}

// Chromium only: the preferred music damaged, the page takes the other; the audio context
// suspended while playing and resumed; the preparation's script missing, the page seeks from
// checkpoints of its own; then the end of the show in full screen must leave its message and
// button visible.
async function fallbackAndFullScreen(page, base, native, fps) {
  // The page's audio contexts, within reach of the test.
  await page.page.evaluateOnNewDocument(() => {
    const Original = window.AudioContext;
    window.testAudioContexts = [];
    window.AudioContext = class extends Original {
      constructor(...args) {
        super(...args);
        window.testAudioContexts.push(this);
      }
    };
  });
  await page.page.setRequestInterception(true);
  page.page.on("request", (request) => {
    if (request.url().endsWith("/data/music.opus"))
      request.respond({ status: 200, contentType: "audio/ogg", body: Buffer.alloc(50000, 7) });
    else if (request.url().endsWith("/preparation.js"))
      request.respond({ status: 404, contentType: "text/plain", body: "" });
    else
      request.continue();
  });
  await page.open(`${base}/index.html`);
  await waitFor(page, `${messageText}.startsWith('click to start')`, 180, "loading with a damaged music.opus");
  const problems = [];
  const music = await page.evaluate("document.getElementById('stage').dataset.music");
  if (music !== "music.m4a")
    problems.push(`with music.opus damaged, the page took ${music} instead of music.m4a`);
  await page.click("#stage");
  await waitFor(page, "document.getElementById('stage').dataset.clock === 'audio' && " +
                      "window.testAudioContexts[0].state === 'running'", 5, "the sound");
  await page.evaluate("window.testAudioContexts[0].suspend()");
  await waitFor(page, `${messageText} === '${noSoundMessage}'`, 3, "the sound device lost while playing");
  await sleep(1000);
  problems.push(...(await showMoves(page)).problems.map((problem) => `without sound: ${problem}`));
  await page.evaluate("window.testAudioContexts[0].resume()");
  await waitFor(page, "document.getElementById('stage').dataset.clock === 'audio'", 5, "the sound back");
  problems.push(...(await showMoves(page)).problems.map((problem) => `with the sound back: ${problem}`));

  if ((await page.evaluate("window.velmora.preparation")).worker)
    problems.push("with preparation.js missing, the page says its preparation runs in a worker");
  await page.evaluate("window.velmora.pause()");
  for (const frame of [jumpFrames(jumpTimes[0], fps)[0], 450]) {
    await page.evaluate(`window.velmora.seek(${frame / fps})`);
    const [shown, hash] = await page.evaluate("[window.velmora.frame, window.velmora.frameHash()]");
    if (shown !== frame || hash !== native.get(frame))
      problems.push(`without the preparation, a seek to frame ${frame} showed frame ${shown} (${hash}), ` +
                    `not the native ${native.get(frame)}`);
  }
  await page.evaluate("window.velmora.play()");

  await page.click("#stage", 2);
  await waitFor(page, "document.fullscreenElement && document.fullscreenElement.id === 'stage'", 5, "full screen");
  await page.press("x");
  await waitFor(page, "!!document.querySelector('#message button')", 5, "the end of the show");
  // In full screen only the full-screen element is on screen: the button must be found there.
  const shown = await page.evaluate(`(() => {
    const button = document.querySelector('#message button');
    const box = button.getBoundingClientRect();
    return document.elementFromPoint(box.x + box.width / 2, box.y + box.height / 2) === button;
  })()`);
  if (!shown)
    problems.push("in full screen, the \"start again\" button is not on screen");
  return { music, problems };
}

// window.velmora's seeks, paused: the frame on the canvas must be the native frame there. The
// first seek is past what is prepared (it fast-forwards); the others wait until the preparation
// covers them, and their latency is what the page's seek bar gives.
async function seeks(engine, page, base, native, options) {
  const fps = options.fps;
  const problems = [];
  const times = [];
  await page.open(`${base}/index.html?autoplay&t=${jumpTimes[0]}`);
  await waitFor(page, `window.velmora && window.velmora.frame >= ${jumpFrames(jumpTimes[0], fps)[0]}`, 180,
                "the show from ?t=");
  await page.evaluate("window.velmora.pause()");
  const check = async (frame, what) => {
    const shown = await page.evaluate("window.velmora.frame");
    const hash = await page.evaluate("window.velmora.frameHash()");
    if (shown !== frame)
      problems.push(`${what} showed frame ${shown}, not ${frame}`);
    else if (hash !== native.get(frame))
      problems.push(`frame ${frame} after ${what}: page ${hash}, native ${native.get(frame)}`);
  };
  // ?t= plays on from its time: the frame it has reached must be the native one. The native
  // program draws it after the far seek below, which must come while the preparation is young.
  const [reached, reachedHash] = await page.evaluate("[window.velmora.frame, window.velmora.frameHash()]");

  // Past what the preparation has reached this early: the page must say it fast-forwards. The
  // slower engines go to the last frame their check reaches, far enough ahead that no checkpoint
  // near it arrives during the seek. What the page says is watched for the whole seek, not
  // sampled: the restore before a fast-forward takes a varying time.
  const farSeconds = engine === "chromium" ? jumpTimes[2] : 8999 / fps;
  const far = await page.evaluate(`(async () => {
    const stage = document.getElementById("stage");
    let said = "";
    const watcher = new MutationObserver(() => {
      if (stage.dataset.seeking === "fast-forward")
        said = document.getElementById("message").textContent;
    });
    watcher.observe(stage, { attributes: true, attributeFilter: ["data-seeking"] });
    const preparedBefore = window.velmora.prepared;
    const started = performance.now();
    await window.velmora.seek(${farSeconds});
    const ms = performance.now() - started;
    watcher.disconnect();
    return { said, preparedBefore, ms };
  })()`);
  // A checkpoint within one spacing of the frame may arrive while the seek restores the one
  // before it; then the seek is a prepared one.
  const unprepared = far.preparedBefore + spacingSeconds < farSeconds;
  if (unprepared && far.ms > 250 && !far.said)
    problems.push(`a seek to ${farSeconds.toFixed(2)} s past what is prepared took ${far.ms.toFixed(0)} ms without saying it fast-forwards`);
  times.push(`${unprepared ? `unprepared (${far.preparedBefore.toFixed(0)} s prepared)` : "prepared already"} ` +
             `${farSeconds.toFixed(2)} s in ${far.ms.toFixed(0)} ms${far.said ? ` ("${far.said}")` : ""}`);
  await check(jumpFrames(farSeconds, fps)[0], `a seek to ${farSeconds.toFixed(2)} s`);
  const atReached = await nativeHashes(options.velmora, options.data, [reached], fps);
  if (reachedHash !== atReached.get(reached))
    problems.push(`frame ${reached} after ?t=${jumpTimes[0]} and play: page ${reachedHash}, native ${atReached.get(reached)}`);

  // Chromium waits for the whole first pass; the others for what the seeks need.
  const needed = Math.max(...preparedSeekFramesOf(engine)) / fps + 3;
  const waitStarted = Date.now();
  await waitFor(page, engine === "chromium" ? "window.velmora.preparation.done"
                                            : `window.velmora.prepared >= ${needed}`,
                preparationLimitSeconds, "the preparation", preparationState);
  const preparation = await page.evaluate("window.velmora.preparation");
  const preparedNote = preparation.done
    ? `the first pass prepared in ${preparation.seconds.toFixed(1)} s`
    : `${(await page.evaluate("window.velmora.prepared")).toFixed(0)} s prepared after ${preparation.seconds.toFixed(1)} s`;
  const summary = `${preparedNote} (waited ${((Date.now() - waitStarted) / 1000).toFixed(0)} s); ` +
                  `${preparation.checkpoints} checkpoints, ${(preparation.packedBytes / 1e6).toFixed(1)} MB ` +
                  `(${(preparation.stateBytes / 1e6).toFixed(2)} MB each unpacked)`;
  if (!preparation.worker)
    problems.push("the preparation did not run in a worker");

  const latencies = [];
  for (const frame of preparedSeekFramesOf(engine)) {
    const ms = await page.evaluate(`(async () => {
      const started = performance.now();
      await window.velmora.seek(${frame / fps});
      return performance.now() - started;
    })()`);
    latencies.push(ms);
    times.push(`${(frame / fps).toFixed(2)} s in ${ms.toFixed(0)} ms`);
    await check(frame, `a prepared seek to ${(frame / fps).toFixed(2)} s`);
  }
  const mean = latencies.reduce((sum, ms) => sum + ms, 0) / latencies.length;
  const worst = `prepared seeks mean ${mean.toFixed(0)} ms, worst ${Math.max(...latencies).toFixed(0)} ms`;
  return { problems, times, summary: `${summary}; ${worst}` };
}

// The media controls are there, over the canvas, and their play/pause button pauses the show
// (the frame stops) and resumes it (the frame moves on).
async function controls(page) {
  const problems = [];
  const missing = await page.evaluate(`["controls", "play-pause", "seek-bar", "time", "full-screen"]
    .filter((id) => !document.getElementById(id) || !document.getElementById("stage").contains(document.getElementById(id)))`);
  if (missing.length)
    problems.push(`controls missing inside #stage: ${missing.join(", ")}`);
  const marks = await page.evaluate("document.querySelectorAll('#scene-marks span').length");
  if (marks < 5)
    problems.push(`only ${marks} scenes marked on the seek bar`);
  const frame = () => page.evaluate("window.velmora.frame");
  // Without a sound device the page waits a second for the sound before its own clock leads.
  const moves = async () => {
    const before = await frame();
    for (const deadline = Date.now() + 3000; Date.now() < deadline; await sleep(100))
      if ((await frame()) !== before)
        return true;
    return false;
  };
  await page.evaluate("window.velmora.play()");
  if (!(await moves()))
    problems.push("the show does not play before the play/pause button is clicked");
  await page.click("#play-pause");
  await sleep(200);
  const paused = await frame();
  await sleep(600);
  if ((await frame()) !== paused || (await page.evaluate("window.velmora.playing")))
    problems.push("the play/pause button did not pause the show");
  await page.click("#play-pause");
  if (!(await moves()))
    problems.push("the play/pause button did not resume the show");
  return { problems, marks };
}

// The page served with the headers that isolate it: where the engine then gives it shared memory,
// it must draw on more than one thread, and its check mode, a jump into the terrain flight and
// prepared seeks must give the native frames; where it does not, the page must draw on one.
async function threadedChecks(engine, page, base, frames, native, options) {
  const problems = [];
  const wanted = frames.filter((frame) => frame <= threadedCheckLimits[engine]);
  const check = await checkMode(page, base, wanted);
  const [isolated, sharedMemory] =
    await page.evaluate("[self.crossOriginIsolated === true, typeof SharedArrayBuffer === 'function']");
  if (!isolated || !sharedMemory) {
    if (check.threads !== 1)
      problems.push(`without shared memory, the page draws on ${check.threads} threads`);
    const why = isolated ? "isolates the page but gives it no SharedArrayBuffer" : "does not isolate the page";
    return { problems, summary: `the engine ${why}: it draws on ${check.threads} thread` };
  }
  if (!(check.threads > 1))
    problems.push(`isolated, the page draws on ${check.threads} thread(s), not more than one`);
  const different = wanted.filter((frame) => check.hashes.get(frame) !== native.get(frame));
  for (const frame of different)
    problems.push(`with threads, frame ${frame}: page ${check.hashes.get(frame)}, native ${native.get(frame)}`);
  const drawn = Math.max(...wanted) + 1;
  const notes = [`check: ${wanted.length - different.length} of ${wanted.length} frames identical on ${check.threads} ` +
                 `threads, frames 0-${drawn - 1} at ${(drawn / check.seconds).toFixed(0)} fps`];

  const jumpSeconds = jumpTimes[1];
  const afterJump = jumpFrames(jumpSeconds, options.fps);
  const jump = await checkMode(page, base, afterJump, jumpSeconds);
  const wrong = afterJump.filter((frame) => jump.hashes.get(frame) !== native.get(frame));
  for (const frame of wrong)
    problems.push(`with threads, frame ${frame} after a jump to ${jumpSeconds} s: page ${jump.hashes.get(frame)}, ` +
                  `native ${native.get(frame)}`);
  notes.push(`jump to ${jumpSeconds} s: ${afterJump.length - wrong.length} of ${afterJump.length} frames identical`);

  // The page itself: the same threads, and seeks that restore the preparation's checkpoints.
  await page.open(`${base}/index.html?autoplay`);
  await waitFor(page, "window.velmora && window.velmora.frame >= 0", 180, "the page with threads");
  await page.evaluate("window.velmora.pause()");
  const threads = await page.evaluate("window.velmora.threads");
  if (threads !== check.threads)
    problems.push(`the page draws on ${threads} threads, its check mode on ${check.threads}`);
  const needed = Math.max(...threadedSeekFrames) / options.fps + 3;
  await waitFor(page, `window.velmora.prepared >= ${needed}`, preparationLimitSeconds, "the preparation with threads",
                preparationState);
  const latencies = [];
  for (const frame of threadedSeekFrames) {
    const ms = await page.evaluate(`(async () => {
      const started = performance.now();
      await window.velmora.seek(${frame / options.fps});
      return performance.now() - started;
    })()`);
    latencies.push(ms.toFixed(0));
    const [shown, hash] = await page.evaluate("[window.velmora.frame, window.velmora.frameHash()]");
    if (shown !== frame || hash !== native.get(frame))
      problems.push(`with threads, a prepared seek to frame ${frame} showed frame ${shown} (${hash}), ` +
                    `not the native ${native.get(frame)}`);
  }
  notes.push(`prepared seeks in ${latencies.join(", ")} ms`);
  return { problems, summary: notes.join("; ") };
}

async function runEngine(engine, base, frames, nativeRun, options) {
  const report = { engine, problems: [] };
  const page = await launch(engine);
  try {
    const wanted = frames.filter((frame) => frame <= checkLimits[engine]);
    const check = await checkMode(page, base, wanted);
    const native = await nativeRun;
    const different = wanted.filter((frame) => check.hashes.get(frame) !== native.get(frame));
    for (const frame of different)
      report.problems.push(`frame ${frame}: page ${check.hashes.get(frame)}, native ${native.get(frame)}`);
    if (check.threads !== 1)
      report.problems.push(`without cross-origin isolation the page draws on ${check.threads} threads, not 1`);
    const drawn = Math.max(...wanted) + 1;
    report.check = `${wanted.length - different.length} of ${wanted.length} frames identical; frames 0-${drawn - 1} ` +
                   `at ${(drawn / check.seconds).toFixed(0)} fps (${(drawn / check.seconds / options.fps).toFixed(1)}x ` +
                   `real time) on 1 thread`;
    console.log(`${engine}: check: ${report.check}`);

    for (const seconds of jumpTimes) {
      const afterJump = jumpFrames(seconds, options.fps);
      if (Math.max(...afterJump) > checkLimits[engine])
        continue;
      const jump = await checkMode(page, base, afterJump, seconds);
      const wrong = afterJump.filter((frame) => jump.hashes.get(frame) !== native.get(frame));
      for (const frame of wrong)
        report.problems.push(`frame ${frame} after a jump to ${seconds} s: page ${jump.hashes.get(frame)}, ` +
                             `native ${native.get(frame)}`);
      console.log(`${engine}: jump to ${seconds} s: ${afterJump.length - wrong.length} of ${afterJump.length} ` +
                  `frames identical`);
    }

    const seeking = await seeks(engine, page, base, native, options);
    report.problems.push(...seeking.problems);
    console.log(`${engine}: seeks: ${seeking.times.join(", ")}${seeking.problems.length ? " FAILED" : ""}`);
    console.log(`${engine}: preparation: ${seeking.summary}`);
    if (engine !== "webkit") {
      const controlled = await controls(page);
      report.problems.push(...controlled.problems);
      console.log(`${engine}: controls: ${controlled.marks} scenes marked, play/pause ` +
                  `${controlled.problems.length ? "FAILED" : "pauses and resumes"}`);
    }

    const isolated = await threadedChecks(engine, page, options.isolatedBase, frames, native, options);
    report.problems.push(...isolated.problems);
    console.log(`${engine}: with cross-origin isolation: ${isolated.summary}${isolated.problems.length ? " FAILED" : ""}`);

    const played = await play(engine, page, base, engine === "chromium" ? options.screenshot : null);
    report.problems.push(...played.problems);
    report.play = `${played.problems.length ? "FAILED" : "moving"}, ${played.colours} colours; music ${played.music}; ` +
                  `${played.clock} clock${played.sawNoSound ? `, said "${noSoundMessage}"` : ""}`;
    console.log(`${engine}: play: ${report.play}`);

    if (engine === "chromium") {
      await page.close();
      const second = await launch(engine);
      try {
        const fallback = await fallbackAndFullScreen(second, base, native, options.fps);
        report.problems.push(...fallback.problems);
        console.log(`${engine}: music.opus damaged: took ${fallback.music}; sound lost and back; seeks without ` +
                    `the preparation; the end of the show in full screen: ${fallback.problems.length ? "FAILED" : "passed"}`);
      } finally {
        await second.close();
      }
      return report;
    }
  } catch (error) {
    report.problems.push(error.message);
  }
  await page.close().catch(() => {});
  return report;
}

async function main() {
  const { values: args } = parseArgs({
    options: {
      site: { type: "string" },
      velmora: { type: "string" },
      data: { type: "string", default: "." },
      fps: { type: "string", default: "60" },
      engines: { type: "string", default: "chromium,firefox,webkit" },
      screenshot: { type: "string" },
      "check-up-to": { type: "string" },
    },
  });
  if (!args.site || !args.velmora)
    throw new Error("usage: browsers.mjs --site DIR --velmora PROGRAM [--data DIR] [--engines LIST] [--screenshot FILE]");
  const options = { fps: Number(args.fps), screenshot: args.screenshot, velmora: args.velmora, data: args.data };
  const engines = args.engines.split(",");
  for (const engine of engines)
    if (!(engine in checkLimits))
      throw new Error(`unknown engine ${engine} (chromium, firefox, webkit)`);

  let failures = 0;
  const bytes = siteBytes(args.site);
  console.log(`site: ${(bytes / 1024 / 1024).toFixed(1)} MB`);
  if (bytes > siteLimitBytes) {
    console.log(`site: larger than ${siteLimitBytes / 1024 / 1024} MB`);
    ++failures;
  }
  if (args["check-up-to"])
    for (const engine in checkLimits)
      checkLimits[engine] = Math.min(checkLimits[engine], Number(args["check-up-to"]));
  const limit = Math.max(...engines.map((engine) => checkLimits[engine]));
  const frames = [...new Set([...firstPassFrames(args.site, options.fps),
                              ...jumpTimes.flatMap((seconds) => jumpFrames(seconds, options.fps))])]
                     .filter((frame) => frame <= limit);
  // Every engine seeks to these.
  frames.push(...jumpTimes.map((seconds) => jumpFrames(seconds, options.fps)[0]), ...preparedSeekFrames);
  frames.splice(0, frames.length, ...[...new Set(frames)].sort((a, b) => a - b));
  const native = nativeHashes(args.velmora, args.data, frames, options.fps);
  native.catch(() => {}); // reported by the engine that waits for it
  // The checks run on a plain static host; those with threads on the isolating one.
  const server = await serve(args.site, false);
  const isolatingServer = await serve(args.site, true);
  options.isolatedBase = isolatingServer.base;
  try {
    for (const engine of engines) {
      const started = Date.now();
      let report;
      try {
        report = await runEngine(engine, server.base, frames, native, options);
      } catch (error) {
        report = { engine, problems: [error.message] };
      }
      for (const problem of report.problems)
        console.log(`${engine}: ${problem}`);
      failures += report.problems.length;
      console.log(`${engine}: ${report.problems.length ? "FAILED" : "passed"} in ${((Date.now() - started) / 1000).toFixed(0)} s`);
    }
  } finally {
    server.close();
    isolatingServer.close();
  }
  console.log("test-web: " + (failures ? "FAILED" : "passed"));
  return failures ? 1 : 0;
}

main().then((status) => process.exit(status), (error) => {
  console.error(`test-web: ${error.message}`);
  process.exit(1);
});
