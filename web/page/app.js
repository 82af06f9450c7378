// The remote's page: the views, what they show of the show's state, the
// buttons and keys that steer it, the timer and the clock. The link to the
// server is live.js; what the server says and takes is protocol.js.
import * as live from "./live.js";
import * as protocol from "./protocol.js";
import * as venue from "./venue.js";

const $ = (id) => document.getElementById(id);
const views = ["presenter", "clicker", "stage", "shows", "venue"];
// Views whose keys steer the show; the stage view is read-only.
const steeringViews = new Set(["presenter", "clicker"]);
const notesSizes = { min: 12, max: 48, step: 2, initial: 20 };

let state = null;  // the last state the server sent
let view = "presenter";
let shows = null;  // the shows folder's presentations; null: the server offers none
let venueOn = false;  // the server has the Venue view ([mqtt] venue=on)
let toastTimer = 0;
let wakeLock = null;

// ---- Small helpers -------------------------------------------------------

function readStored(key, fallback) {
  try {
    const value = JSON.parse(localStorage.getItem(key));
    return value === null ? fallback : value;
  } catch {
    return fallback;
  }
}

function store(key, value) {
  localStorage.setItem(key, JSON.stringify(value));
}

function showToast(text, ms = 2500) {
  const toast = $("toast");
  toast.textContent = text;
  toast.hidden = false;
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => {
    toast.hidden = true;
  }, ms);
}

function formatDuration(ms) {
  const total = Math.floor(Math.abs(ms) / 1000);
  const hours = Math.floor(total / 3600);
  const minutes = Math.floor((total % 3600) / 60);
  const seconds = String(total % 60).padStart(2, "0");
  if (hours > 0) return `${hours}:${String(minutes).padStart(2, "0")}:${seconds}`;
  return `${minutes}:${seconds}`;
}

function formatAge(ms) {
  if (ms === null) return "";
  const seconds = Math.floor(ms / 1000);
  if (seconds < 60) return `${seconds} s`;
  if (seconds < 3600) return `${Math.floor(seconds / 60)} min`;
  return "long";
}

function guessDeviceName() {
  const agent = navigator.userAgent;
  for (const name of ["iPhone", "iPad", "Android"]) {
    if (agent.includes(name)) return name;
  }
  return "Browser";
}

// The address's fragment: "#code=123456" pairs, "#view=stage" picks a view.
function readFragment() {
  const values = new URLSearchParams(location.hash.slice(1));
  return { code: values.get("code") || "", view: values.get("view") || "" };
}

// ---- The timer -----------------------------------------------------------
// The time since the show started, from the server when it says, otherwise
// from when this page first saw the show run; and a countdown the presenter
// sets, kept on this device.

const noTimer = { key: "", startedAt: 0, endedAt: 0, manual: false };
let timer = readStored("podiant.timer", noTimer);
let countdownMinutes = readStored("podiant.countdown", 0);

function followTimer(next) {
  const running = isShowing(next);
  const now = Date.now();
  if (next.state === "NONE") {
    timer = noTimer;
  } else {
    const key = `${next.show}:${next.file}`;
    if (timer.key !== key) timer = { ...noTimer, key };
    if (next.runningMs !== null && !timer.manual) {
      // The server's time, which stands still while the show does not run.
      timer.startedAt = now - next.runningMs;
      timer.endedAt = running ? 0 : now;
    } else if (running && !timer.startedAt) {
      timer.startedAt = now;
    } else if (!running && timer.startedAt && !timer.endedAt) {
      timer.endedAt = now;
    }
  }
  store("podiant.timer", timer);
}

function renderTimer(element) {
  const elapsed = element.querySelector(".elapsed");
  const countdown = element.querySelector(".countdown");
  if (!timer.startedAt) {
    elapsed.textContent = "–:––";
    countdown.textContent = "";
    element.classList.remove("over");
    return;
  }
  const ms = (timer.endedAt || Date.now()) - timer.startedAt;
  elapsed.textContent = formatDuration(ms);
  if (countdownMinutes > 0) {
    const left = countdownMinutes * 60000 - ms;
    countdown.textContent = (left < 0 ? "−" : "") + formatDuration(left);
    element.classList.toggle("over", left < 0);
  } else {
    countdown.textContent = "";
    element.classList.remove("over");
  }
}

function openTimerDialog() {
  const dialog = $("timer-dialog");
  $("countdown-minutes").value = countdownMinutes > 0 ? String(countdownMinutes) : "";
  dialog.returnValue = "";
  dialog.showModal();
}

function closeTimerDialog() {
  const answer = $("timer-dialog").returnValue;
  if (answer === "set") {
    const minutes = Math.round(Number($("countdown-minutes").value));
    if (minutes >= 1 && minutes <= 600) countdownMinutes = minutes;
  } else if (answer === "clear") {
    countdownMinutes = 0;
  } else if (answer === "restart") {
    const now = Date.now();
    timer = { key: timer.key, startedAt: now, endedAt: isShowing(state) ? 0 : now, manual: true };
    store("podiant.timer", timer);
  }
  store("podiant.countdown", countdownMinutes);
  tick();
}

// ---- Slide pictures ------------------------------------------------------
// Each picture is asked for at the width its frame takes on this screen, in
// device pixels (rounded up to a step, so that a few sizes serve every
// screen); the one shown stays until the new one has arrived.

const pictures = [];

function addPicture(id, pickSlide) {
  pictures.push({ img: $(id), pickSlide, wanted: "", ratio: 0 });
}

// The width the picture is shown at: the frame's, or less where the frame is
// wider than the picture's shape lets it be.
function pictureWidth(picture, frame) {
  let width = frame.clientWidth;
  if (picture.ratio && frame.clientHeight) width = Math.min(width, frame.clientHeight * picture.ratio);
  const pixels = Math.ceil((width * (window.devicePixelRatio || 1)) / 80) * 80;
  return Math.min(protocol.slideWidthMax, Math.max(protocol.slideWidthMin, pixels));
}

function refreshPictures() {
  for (const picture of pictures) {
    const frame = picture.img.parentElement;
    if (!frame.clientWidth) continue;  // a view not shown
    const slide = state ? picture.pickSlide(state) : 0;
    if (!slide) {
      picture.wanted = "";
      picture.img.removeAttribute("src");
      frame.dataset.caption = state && state.count > 0 ? "End of show" : "No show";
      continue;
    }
    const url = protocol.slidePictureUrl(slide, pictureWidth(picture, frame), state.show);
    if (url === picture.wanted) continue;
    picture.wanted = url;
    frame.classList.add("loading");
    const loader = new Image();
    loader.onload = () => {
      if (picture.wanted !== url) return;
      picture.img.src = url;
      picture.ratio = loader.naturalWidth / loader.naturalHeight;
      frame.style.setProperty("--ratio", `${loader.naturalWidth} / ${loader.naturalHeight}`);
      frame.classList.remove("loading");
      delete frame.dataset.caption;
    };
    loader.onerror = () => {
      if (picture.wanted !== url) return;
      picture.img.removeAttribute("src");
      frame.classList.remove("loading");
      frame.dataset.caption = "No picture";
    };
    loader.src = url;
  }
}

// ---- Rendering the state -------------------------------------------------

function isShowing(current) {
  return current && ["RUNNING", "BLACK", "WHITE"].includes(current.state);
}

function slideText(current) {
  if (!current || current.state === "NONE" || !current.slide) return "No show";
  const position = current.count ? `Slide ${current.slide} of ${current.count}` : `Slide ${current.slide}`;
  return current.state === "ENDED" ? `${position} · ended` : position;
}

function buildsText(current) {
  if (!isShowing(current) || current.buildCount <= 0 || current.buildPosition < 0) return "";
  const left = current.buildCount - current.buildPosition;
  if (left <= 0) return "";
  return left === 1 ? "1 build left" : `${left} builds left`;
}

function render() {
  document.body.dataset.show = state ? state.state : "NONE";
  const position = slideText(state);
  $("p-slide").textContent = position;
  $("s-slide").textContent = state && state.slide ? `${state.slide} / ${state.count}` : "";
  $("c-slide").textContent = state && state.slide && state.state !== "NONE" ? String(state.slide) : "–";
  $("c-slide").setAttribute("aria-label", position);
  $("p-builds").textContent = buildsText(state);
  $("p-title").textContent = state ? state.title : "";
  const nextTitle = state && state.nextSlide ? state.nextTitle || `Slide ${state.nextSlide}` : "";
  $("p-next-title").textContent = nextTitle ? `Next: ${nextTitle}` : "";
  $("s-next-title").textContent = nextTitle ? `Next: ${nextTitle}` : "";
  for (const id of ["p-notes", "s-notes"]) {
    const notes = $(id);
    const text = state && state.state !== "NONE" ? state.notes : "";
    if (notes.textContent !== text) {
      notes.textContent = text;
      notes.scrollTop = 0;
    }
    notes.classList.toggle("empty", !text);
  }
  const screen = state ? state.state : "NONE";
  for (const button of document.querySelectorAll(".screen [data-command]")) {
    const word = button.dataset.command;
    if (word === "RESUME") {
      button.disabled = screen !== "BLACK" && screen !== "WHITE";
    } else {
      button.setAttribute("aria-pressed", String(screen === word));
    }
  }
  for (const badge of document.querySelectorAll(".screen-badge")) {
    badge.textContent = screen === "BLACK" || screen === "WHITE" ? screen : "";
  }
  refreshPictures();
}

const linkWords = {
  live: "Live",
  connecting: "Connecting…",
  offline: "Offline",
  unpaired: "Not paired",
  busy: "Busy",
};
const linkReasons = {
  server: "Server lost, reconnecting…",
  silent: "No answer from the server, reconnecting…",
  failed: "The server refused the link, retrying…",
  network: "No network: waiting for it to come back…",
};

function renderLink(link, reason) {
  document.body.dataset.link = link;
  $("banner").dataset.reason = reason;
  $("link-text").textContent = linkWords[link] || link;
  const pairing = link === "unpaired";
  $("pairing").hidden = !pairing;
  for (const name of views) $(name).hidden = pairing || name !== view;
  if (pairing) showPairing(reason);
  if (link === "live") keepAwake();
  tick();
}

// While the link is not live: why, and how old what the page shows is.
function renderBanner(link, silence) {
  const banner = $("banner");
  let text = "";
  if (link === "offline") {
    text = linkReasons[$("banner").dataset.reason] || linkReasons.server;
  } else if (link === "busy") {
    text = "The server has as many remotes as it takes: retrying…";
  } else if (link === "connecting" && state) {
    text = "Reconnecting…";
  }
  if (text && state && silence !== null) text += ` What you see is ${formatAge(silence)} old.`;
  banner.hidden = !text;
  banner.textContent = text;
}

// Once a second: the clock, the timer, the age of the last update.
function tick() {
  const clock = new Date().toLocaleTimeString([], { hour: "numeric", minute: "2-digit" });
  $("p-clock").textContent = clock;
  $("s-clock").textContent = clock;
  renderTimer($("p-timer"));
  renderTimer($("s-timer"));
  const silence = live.silenceMs();
  const link = live.linkState();
  $("link-age").textContent =
    link === "unpaired" || silence === null ? "" : `· ${formatAge(silence)}`;
  renderBanner(link, silence);
}

// ---- Views ---------------------------------------------------------------

let wantedView = "";  // asked for before the server said whether it has shows or the venue

function showView(name, remember = true) {
  if (!views.includes(name)) name = "presenter";
  if ((name === "shows" && shows === null) || (name === "venue" && !venueOn)) {
    wantedView = name;
    name = "presenter";
  }
  view = name;
  document.body.dataset.view = name;
  const pairing = live.linkState() === "unpaired";
  for (const other of views) $(other).hidden = pairing || other !== name;
  for (const button of document.querySelectorAll("nav [data-view]")) {
    if (button.dataset.view === name) {
      button.setAttribute("aria-current", "page");
    } else {
      button.removeAttribute("aria-current");
    }
  }
  if (remember) {
    store("podiant.view", name);
    history.replaceState(null, "", `#view=${name}`);
  }
  if (name === "shows") loadShows();
  refreshPictures();
}

async function loadShows() {
  shows = await protocol.listShows();
  document.querySelector('nav [data-view="shows"]').hidden = shows === null;
  const list = $("show-list");
  list.replaceChildren();
  for (const name of shows || []) {
    const item = document.createElement("li");
    const button = document.createElement("button");
    button.type = "button";
    button.textContent = name;
    if (state && state.file && state.file.endsWith(name)) button.classList.add("current");
    button.addEventListener("click", () => openShow(name));
    item.append(button);
    list.append(item);
  }
  $("shows-empty").hidden = !shows || shows.length > 0;
  if (view === "shows" && shows === null) showView("presenter");
  if (wantedView === "shows" && shows !== null) {
    wantedView = "";
    showView("shows", false);
  }
}

async function openShow(name) {
  if (isShowing(state) && !(await confirmAction(`Open ${name}? The running show ends.`, "Open"))) {
    return;
  }
  const answer = await protocol.openShow(name);
  showToast(answer.ok ? `Opening ${name}…` : `Not opened: ${answer.text}`);
  if (answer.ok) showView("presenter");
}

function confirmAction(text, okText) {
  const dialog = $("confirm");
  $("confirm-text").textContent = text;
  $("confirm-ok").textContent = okText;
  dialog.returnValue = "";
  dialog.showModal();
  return new Promise((resolve) => {
    dialog.addEventListener("close", () => resolve(dialog.returnValue === "ok"), { once: true });
  });
}

// ---- Pairing -------------------------------------------------------------

function showPairing(reason) {
  const texts = {
    "no-code": "",
    "new-code": "The server no longer knows this device (it has a new code): pair again.",
    "wrong-code": "That code is not (or no longer) the server's code.",
    "too-many": "Too many wrong codes: wait a minute, then try again.",
  };
  $("pairing-reason").textContent = texts[reason] || "";
  const name = $("pairing-name");
  if (!name.value) name.value = live.storedName() || guessDeviceName();
}

async function submitPairing(event) {
  event.preventDefault();
  const code = $("pairing-code").value.trim();
  const name = $("pairing-name").value.trim().slice(0, protocol.nameLengthMax);
  if (!protocol.codePattern.test(code)) {
    $("pairing-reason").textContent = "The code has six digits.";
    return;
  }
  const answer = await live.pairNow(code, name || guessDeviceName());
  if (answer.outcome === "paired") $("pairing-code").value = "";
}

// ---- Steering ------------------------------------------------------------

function send(word) {
  if (!live.sendCommand(word, state)) {
    showToast("Not connected: not sent");
    return;
  }
  if (navigator.vibrate) navigator.vibrate(15);
}

// Black and white from the keys toggle: pressed again, the show resumes.
function toggleScreen(word) {
  send(state && state.state === word ? "RESUME" : word);
}

const keyWords = {
  ArrowRight: "NEXT",
  ArrowDown: "NEXT",
  PageDown: "NEXT",
  " ": "NEXT",
  ArrowLeft: "PREV",
  ArrowUp: "PREV",
  PageUp: "PREV",
  Home: "FIRST",
  End: "LAST",
};

function onKey(event) {
  if (event.ctrlKey || event.altKey || event.metaKey) return;
  if (!steeringViews.has(view) || live.linkState() === "unpaired") return;
  if (document.querySelector("dialog[open]")) return;
  const target = event.target;
  if (target.closest && target.closest("input, textarea, select")) return;
  // Space and Enter on a focused button are that button's (keyboard users).
  if ((event.key === " " || event.key === "Enter") && target.closest && target.closest("button")) {
    return;
  }
  const key = event.key.length === 1 ? event.key.toLowerCase() : event.key;
  if (key === "b" || key === ".") {
    if (!event.repeat) toggleScreen("BLACK");
  } else if (key === "w" || key === ",") {
    if (!event.repeat) toggleScreen("WHITE");
  } else if (keyWords[event.key]) {
    send(keyWords[event.key]);
  } else {
    return;
  }
  event.preventDefault();
}

// The server's commands= may leave words out: their buttons go.
function allowCommands(words) {
  for (const button of document.querySelectorAll("[data-command]")) {
    button.hidden = words !== null && !words.includes(button.dataset.command);
  }
  $("end").hidden = words !== null && !words.includes("END");
}

// ---- Keeping the screen awake --------------------------------------------
// Only in a secure context (HTTPS, or localhost): on plain HTTP the phone's
// own auto-lock applies, and the page says so once.

async function keepAwake() {
  if (!("wakeLock" in navigator)) {
    if (!readStored("podiant.wakeHint", false)) {
      store("podiant.wakeHint", true);
      showToast("This browser may let the screen sleep: lengthen its auto-lock for the show.", 6000);
    }
    return;
  }
  if (wakeLock || document.visibilityState !== "visible") return;
  try {
    wakeLock = await navigator.wakeLock.request("screen");
    wakeLock.addEventListener("release", () => {
      wakeLock = null;
    });
  } catch {
    wakeLock = null;  // refused (battery saver, no permission): nothing to do
  }
}

// ---- Start ---------------------------------------------------------------

function changeNotesSize(step) {
  const size = readStored("podiant.notesSize", notesSizes.initial) + step * notesSizes.step;
  const bounded = Math.min(notesSizes.max, Math.max(notesSizes.min, size));
  store("podiant.notesSize", bounded);
  $("p-notes").style.fontSize = `${bounded}px`;
}

function start() {
  addPicture("p-current", (current) => (current.state === "NONE" ? 0 : current.slide));
  addPicture("p-next", (current) => (current.state === "NONE" ? 0 : current.nextSlide));
  addPicture("s-current", (current) => (current.state === "NONE" ? 0 : current.slide));
  addPicture("s-next", (current) => (current.state === "NONE" ? 0 : current.nextSlide));

  for (const button of document.querySelectorAll("[data-command]")) {
    button.addEventListener("click", (event) => {
      // A tap leaves no focus behind: a clicker's Space must not press the
      // button tapped last. Keyboard users keep theirs (detail 0).
      if (event.detail > 0) button.blur();
      send(button.dataset.command);
    });
  }
  for (const button of document.querySelectorAll("nav [data-view]")) {
    button.addEventListener("click", () => showView(button.dataset.view));
  }
  for (const button of document.querySelectorAll("[data-notes]")) {
    button.addEventListener("click", () => changeNotesSize(Number(button.dataset.notes)));
  }
  changeNotesSize(0);
  venue.startVenue($("venue-rooms"), $("venue-empty"));
  $("end").addEventListener("click", async () => {
    if (await confirmAction("End the slide show?", "End show")) send("END");
  });
  $("p-timer").addEventListener("click", openTimerDialog);
  $("timer-dialog").addEventListener("close", closeTimerDialog);
  $("pairing-form").addEventListener("submit", submitPairing);
  document.addEventListener("keydown", onKey);
  document.addEventListener("visibilitychange", () => {
    if (document.visibilityState === "visible") keepAwake();
  });
  let resizeTimer = 0;
  window.addEventListener("resize", () => {
    clearTimeout(resizeTimer);
    resizeTimer = setTimeout(refreshPictures, 150);
  });
  setInterval(tick, 1000);

  const fragment = readFragment();
  showView(fragment.view || readStored("podiant.view", "presenter"), false);
  if (fragment.code) history.replaceState(null, "", `#view=${view}`);
  const code = protocol.codePattern.test(fragment.code) ? fragment.code : "";
  live.startLink(
      {
        onState(next) {
          followTimer(next);
          const newShow = !state || state.file !== next.file || state.show !== next.show;
          state = next;
          render();
          if (newShow && shows) loadShows();
        },
        onLink: renderLink,
        onHello(hello) {
          allowCommands(hello.commands);
          venueOn = hello.venue;
          document.querySelector('nav [data-view="venue"]').hidden = !venueOn;
          if (venueOn) {
            venue.loadRooms();
            if (wantedView === "venue") {
              wantedView = "";
              showView("venue", false);
            }
          } else if (view === "venue") {
            showView("presenter", false);
          }
          if (!hello.shows) shows = null;
          document.querySelector('nav [data-view="shows"]').hidden = !hello.shows;
          if (hello.shows) loadShows();
        },
        onMoved() {
          showToast("The show had moved on: that tap was not carried out.");
        },
        onRoom: venue.applyRoom,
        onRefused(command, text) {
          showToast(`${command || "Command"} not carried out: ${text}`);
        },
      },
      code, live.storedName() || guessDeviceName());
  render();
}

start();
