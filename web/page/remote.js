// A minimal remote: pairs (by the code in the address's #code= or typed in),
// follows the state over /api/live and sends NEXT and PREV.
"use strict";

const view = (id) => document.getElementById(id);
let socket = null;
let state = null;
let lastHeard = 0;
let retries = 0;
let retryTimer = 0;
let nextId = 1;

function storedCode() { return localStorage.getItem("podiant.code") || ""; }

function takeCodeFromAddress() {
  const match = /code=(\d{6})/.exec(location.hash);
  if (match) {
    localStorage.setItem("podiant.code", match[1]);
    history.replaceState(null, "", location.pathname);
  }
}

function showPairing(message) {
  view("remote").hidden = true;
  view("pairing").hidden = false;
  view("code").value = storedCode();
  view("name").value = localStorage.getItem("podiant.name") || "Phone";
  view("pairing-error").textContent = message || "";
}

async function pair(code, name) {
  const response = await fetch("/api/pair", {
    method: "POST",
    headers: { "Content-Type": "application/json" },
    body: JSON.stringify({ code: code, name: name }),
  });
  if (response.ok) {
    localStorage.setItem("podiant.code", code);
    localStorage.setItem("podiant.name", name);
    return true;
  }
  const answer = await response.json().catch(() => ({}));
  showPairing(answer.error || "Pairing failed (" + response.status + ")");
  return false;
}

function render() {
  if (!state) return;
  view("state").textContent = state.state;
  view("slide").textContent = state.slide || "-";
  view("count").textContent = state.count || "-";
  view("title").textContent = state.title;
  view("notes").textContent = state.notes;
}

function send(command) {
  if (!socket || socket.readyState !== WebSocket.OPEN) return;
  const message = { command: command, id: nextId++ };
  if (state && (command === "NEXT" || command === "PREV")) {
    message.from = { slide: state.slide, build: state.build.position };
  }
  socket.send(JSON.stringify(message));
}

function receive(event) {
  lastHeard = Date.now();
  const message = JSON.parse(event.data);
  if (message.type === "state") {
    if (!state || message.seq >= state.seq) state = message;
    render();
  } else if (message.type === "result") {
    view("answer").textContent = message.outcome === "moved-on"
      ? message.command + " not carried out: the show had moved on"
      : message.outcome === "done" ? "" : message.command + ": " + (message.error || message.outcome);
  }
}

function scheduleRetry() {
  clearTimeout(retryTimer);
  retryTimer = setTimeout(connect, Math.min(2000, 250 * 2 ** retries++));
}

async function connect() {
  clearTimeout(retryTimer);
  if (socket && socket.readyState <= WebSocket.OPEN) return;
  view("link").textContent = "Connecting";
  // Paired? A restarted server has forgotten the token: pair again with the code.
  const probe = await fetch("/api/state").catch(() => null);
  if (!probe) return scheduleRetry();
  if (probe.status === 401) {
    if (!storedCode() || !(await pair(storedCode(), localStorage.getItem("podiant.name") || "Phone"))) {
      if (!storedCode()) showPairing("");
      return;
    }
  }
  view("pairing").hidden = true;
  view("remote").hidden = false;
  state = null;
  socket = new WebSocket("ws://" + location.host + "/api/live");
  socket.onopen = () => { retries = 0; view("link").textContent = "Connected"; };
  socket.onmessage = receive;
  socket.onclose = () => { socket = null; view("link").textContent = "Disconnected"; scheduleRetry(); };
}

view("pairing").addEventListener("submit", async (event) => {
  event.preventDefault();
  if (await pair(view("code").value.trim(), view("name").value.trim())) connect();
});
view("next").addEventListener("click", () => send("NEXT"));
view("prev").addEventListener("click", () => send("PREV"));
document.addEventListener("keydown", (event) => {
  const words = { ArrowRight: "NEXT", " ": "NEXT", PageDown: "NEXT", ArrowLeft: "PREV", PageUp: "PREV", b: "BLACK", w: "WHITE" };
  if (words[event.key] && event.target.tagName !== "INPUT") { event.preventDefault(); send(words[event.key]); }
});
document.addEventListener("visibilitychange", () => { if (!document.hidden) { retries = 0; connect(); } });
window.addEventListener("online", () => { retries = 0; connect(); });
setInterval(() => {
  view("age").textContent = lastHeard ? Math.round((Date.now() - lastHeard) / 1000) + " s ago" : "";
}, 1000);

takeCodeFromAddress();
connect();
