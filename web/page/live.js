// The live link to the server: one WebSocket, opened again by itself when it
// closes or falls silent (after at most 2 seconds, at once when the page is
// shown again or the network returns). The device's token is a cookie that
// the page never sees; the page keeps no code: when the server no longer
// takes the token (it started again with another code), it asks for one.
import * as protocol from "./protocol.js";

const retryDelaysMs = [250, 500, 1000, 2000];
// A socket that has heard nothing for longer than a ping's interval and a
// little is checked at once when the page comes back.
const doubtfulAfterMs = 6500;
const nameKey = "podiant.name";
// An earlier page kept the code here; it is forgotten.
localStorage.removeItem("podiant.code");

// "connecting": no state of this connection yet (what the page shows may be
// stale); "live"; "offline": the server or the network is not reachable;
// "unpaired": a code is needed (linkReason says why); "busy": the server
// has as many clients as it takes.
let link = "connecting";
let linkReason = "";
let socket = null;
let socketHasState = false;
let lastSeq = -1;
let heardAt = 0;  // performance.now() of the last message of any socket
// performance.now() of the current socket's start or last message: what
// tells whether it still carries anything.
let socketHeardAt = 0;
let retryTimer = 0;
let retryCount = 0;
let checking = false;
let handlers = null;

function setLink(next, reason = "") {
  if (next === link && reason === linkReason) return;
  link = next;
  linkReason = reason;
  handlers.onLink(link, linkReason);
}

export function linkState() {
  return link;
}

// Milliseconds since the server was last heard from; null when never.
export function silenceMs() {
  return heardAt ? performance.now() - heardAt : null;
}

export function storedName() {
  return localStorage.getItem(nameKey) || "";
}

function dropSocket() {
  if (!socket) return;
  const old = socket;
  socket = null;
  old.onopen = old.onmessage = old.onclose = old.onerror = null;
  try {
    old.close();
  } catch {
    // it was closing already
  }
}

function cancelRetry() {
  clearTimeout(retryTimer);
  retryTimer = 0;
}

function retryLater() {
  cancelRetry();
  const delay = retryDelaysMs[Math.min(retryCount, retryDelaysMs.length - 1)];
  retryCount += 1;
  retryTimer = setTimeout(connect, delay);
}

// The browser's word on the network is no fact: Chromium says "offline" on a
// computer with no network but loopback, where the page on the presentation
// computer itself still reaches the server. So it never stops a try, and it
// only names the cause of a loss when the server is across a network.
const overLoopback = /^(127\.|localhost$|\[::1\]$)/.test(location.hostname);

function networkGone() {
  return navigator.onLine === false && !overLoopback;
}

function lose(reason) {
  dropSocket();
  if (networkGone()) reason = "network";
  if (link !== "unpaired" && link !== "busy") setLink("offline", reason);
  retryLater();
}

function connect() {
  cancelRetry();
  if (socket || checking || link === "unpaired") return;
  if (link === "live") setLink("connecting");
  let opened = false;
  const current = new WebSocket(protocol.liveUrl(location));
  socket = current;
  socketHasState = false;
  socketHeardAt = performance.now();
  current.onopen = () => {
    opened = true;
    socketHeardAt = performance.now();
  };
  current.onmessage = (event) => {
    heardAt = socketHeardAt = performance.now();
    const message = protocol.readLiveMessage(event.data);
    if (message.kind === "state") {
      // The first state of a connection is the whole state as it is now,
      // even when its number is lower (the server started again); later ones
      // only count when they are newer.
      if (socketHasState && message.state.seq <= lastSeq) return;
      socketHasState = true;
      lastSeq = message.state.seq;
      retryCount = 0;
      handlers.onState(message.state);
      setLink("live");
    } else if (message.kind === "ping") {
      const answer = protocol.pingAnswer();
      if (answer) current.send(answer);
    } else if (message.kind === "hello") {
      handlers.onHello(message);
    } else if (message.kind === "room") {
      handlers.onRoom(message.room);
    } else if (message.kind === "moved") {
      handlers.onMoved(message.command);
    } else if (message.kind === "error") {
      handlers.onRefused(message.command, message.text);
    }
  };
  current.onclose = () => {
    if (socket !== current) return;
    socket = null;
    if (opened) {
      lose("server");
    } else {
      findOutWhy();
    }
  };
}

// The socket was not accepted: no token the server knows, no server, or too
// many clients. Asked over plain HTTP, which says which.
async function findOutWhy() {
  checking = true;
  const access = await protocol.checkAccess();
  checking = false;
  if (access === "unpaired") {
    // A device paired before (its name is kept) whose token the server no
    // longer takes: the server started again with another code.
    setLink("unpaired", storedName() ? "new-code" : "no-code");
  } else if (access === "busy") {
    setLink("busy");
    retryLater();
  } else {
    lose(access === "unreachable" ? "server" : "failed");
  }
}

async function pairWith(code, name) {
  checking = true;
  const answer = await protocol.pair(code, name);
  checking = false;
  if (answer.outcome === "paired") {
    localStorage.setItem(nameKey, name);
    setLink("connecting");
    retryCount = 0;
    connect();
  } else if (answer.outcome === "wrong-code") {
    // Never tried again by itself: wrong codes are counted against this
    // address. The server drew a new code, or the code was mistyped.
    setLink("unpaired", "wrong-code");
  } else if (answer.outcome === "too-many") {
    setLink("unpaired", "too-many");
  } else {
    lose(answer.outcome === "unreachable" ? "server" : "failed");
  }
  return answer;
}

// Pairs with a code typed in or carried by the address.
export function pairNow(code, name) {
  cancelRetry();
  dropSocket();
  setLink("connecting");
  return pairWith(code, name);
}

// Sends a show word; false when there is no live link to carry it.
export function sendCommand(word, state) {
  if (!socket || socket.readyState !== WebSocket.OPEN || link !== "live") return false;
  socket.send(protocol.commandMessage(word, state));
  return true;
}

function reconnectNow() {
  if (link === "unpaired") return;
  retryCount = 0;
  if (socket && performance.now() - socketHeardAt < doubtfulAfterMs) return;
  dropSocket();
  if (link === "live") setLink("connecting");
  connect();
}

// Starts the link: with a code (the address carried one) by pairing with it,
// otherwise with the token this device may have.
export function startLink(callbacks, code, name) {
  handlers = callbacks;
  document.addEventListener("visibilitychange", () => {
    if (document.visibilityState === "visible") reconnectNow();
  });
  window.addEventListener("online", () => {
    // A new network: the old socket may be bound to the one that went.
    dropSocket();
    reconnectNow();
  });
  // The network went: the socket most likely went with it. Tried again as
  // after any loss, so that a link that still works is back at once.
  window.addEventListener("offline", () => {
    if (networkGone() && link !== "unpaired") lose("network");
  });
  // A socket that falls silent is dead, whatever it says; so is one that
  // never opens (a network that swallows what is sent).
  setInterval(() => {
    if (socket && performance.now() - socketHeardAt > protocol.silentLinkMs) lose("silent");
  }, 1000);
  handlers.onLink(link, linkReason);
  if (code) {
    pairNow(code, name);
  } else {
    connect();
  }
}
