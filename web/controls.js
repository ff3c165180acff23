// The media controls over the canvas, in the manner of a video element's: play/pause, a seek bar
// over the first pass with a mark at every scene and the part prepared for quick seeks, the
// time, and full screen. They live inside #stage, so they stay in full screen, and hide while
// the mouse rests (not while paused, nor while the pointer is on them). The keys do the same
// (page.js).

const restSeconds = 2.5;

export class MediaControls {
  // `player` is the page's ShowPlayer; `toggleFullScreen` the page's.
  constructor(stage, player, toggleFullScreen) {
    this.stage = stage;
    this.player = player;
    this.root = document.getElementById("controls");
    this.playButton = document.getElementById("play-pause");
    this.bar = document.getElementById("seek-bar");
    this.preparedPart = document.getElementById("prepared-part");
    this.playedPart = document.getElementById("played-part");
    this.marks = document.getElementById("scene-marks");
    this.time = document.getElementById("time");
    this.markedScenes = "";
    this.restTimer = 0;
    this.dragging = false;

    this.playButton.addEventListener("click", () => player.toggle());
    document.getElementById("full-screen").addEventListener("click", toggleFullScreen);
    // The buttons take no focus, so that Space stays the page's key and does not press them again.
    for (const button of this.root.querySelectorAll("button"))
      button.addEventListener("mousedown", (event) => event.preventDefault());
    // A double click on the controls is two presses of theirs, not full screen.
    this.root.addEventListener("dblclick", (event) => event.stopPropagation());
    this.listenToBar();
    for (const name of ["mousemove", "pointerdown", "touchstart"])
      stage.addEventListener(name, () => this.wake(), { passive: true });
    this.root.hidden = false;
    this.wake();
    this.tick();
  }

  listenToBar() {
    const seekTo = (event) => {
      const box = this.bar.getBoundingClientRect();
      const fraction = Math.min(1, Math.max(0, (event.clientX - box.left) / box.width));
      this.player.seekCoalesced(fraction * this.player.passSeconds);
    };
    this.bar.addEventListener("pointerdown", (event) => {
      this.dragging = true;
      this.bar.setPointerCapture(event.pointerId);
      seekTo(event);
    });
    this.bar.addEventListener("pointermove", (event) => {
      if (this.dragging)
        seekTo(event);
    });
    const stop = () => { this.dragging = false; };
    this.bar.addEventListener("pointerup", stop);
    this.bar.addEventListener("pointercancel", stop);
  }

  // Shows the controls, and hides them again once the mouse has rested a while.
  wake() {
    this.stage.classList.remove("resting");
    clearTimeout(this.restTimer);
    this.restTimer = setTimeout(() => {
      if (this.player.willPlay && !this.dragging && !this.root.matches(":hover"))
        this.stage.classList.add("resting");
      else
        this.wake();
    }, restSeconds * 1000);
  }

  tick() {
    this.update();
    requestAnimationFrame(() => this.tick());
  }

  update() {
    const player = this.player;
    const pass = player.passSeconds;
    const seconds = Math.max(0, player.drawn) / player.fps;
    const percent = (value) => `${(100 * Math.min(1, Math.max(0, value / pass))).toFixed(3)}%`;
    this.playedPart.style.width = percent(seconds);
    this.preparedPart.style.width = percent(player.preparedSeconds);
    this.time.textContent = `${clockText(seconds)} / ${clockText(pass)}`;
    const playing = player.willPlay;
    if (this.playButton.dataset.state !== (playing ? "playing" : "paused")) {
      this.playButton.dataset.state = playing ? "playing" : "paused";
      this.playButton.title = playing ? "pause (Space)" : "play (Space)";
      this.playButton.setAttribute("aria-label", playing ? "pause" : "play");
      if (!playing)
        this.wake();
    }
    const scenes = player.sceneSeconds().filter((start) => start > 0 && start < pass);
    const key = scenes.join(",");
    if (key !== this.markedScenes) {
      this.markedScenes = key;
      this.marks.replaceChildren(...scenes.map((start) => {
        const mark = document.createElement("span");
        mark.style.left = percent(start);
        mark.title = clockText(start);
        return mark;
      }));
    }
  }
}

// "M:SS".
function clockText(seconds) {
  const whole = Math.floor(seconds);
  return `${Math.floor(whole / 60)}:${String(whole % 60).padStart(2, "0")}`;
}
