// What the page knows of the server: every route, status code and message of
// the web remote, and nothing else. The rest of the page sees plain values
// (a normalised state, an outcome word), so that a change of the contract is
// an edit here alone. The contract is written down in docs/web-remote.md.

// The server pings every 5 seconds; a link that has heard nothing for this
// long is taken as dead (a phone that slept or changed network keeps a
// socket open that no longer carries anything).
export const silentLinkMs = 12000;

// The widths the server draws slide pictures at, in device pixels.
export const slideWidthMin = 160;
export const slideWidthMax = 1920;

// The pairing code: six digits.
export const codePattern = /^[0-9]{6}$/;
// The longest device name the status list shows.
export const nameLengthMax = 32;

// A slide's picture. `show` (the state's show number, when it has one) makes
// the address of a new presentation's pictures new, so that no cache can
// give back one of the presentation before.
export function slidePictureUrl(slide, width, show) {
  const url = `/api/slides/${slide}.png?width=${width}`;
  return show === null || show === undefined ? url : `${url}&show=${show}`;
}

export function liveUrl(location) {
  const scheme = location.protocol === "https:" ? "wss:" : "ws:";
  return `${scheme}//${location.host}/api/live`;
}

// The show's state as the page uses it, from the server's object; missing or
// odd fields read as "not known" rather than breaking the page.
function normaliseState(message) {
  const number = (value) => (Number.isInteger(value) ? value : 0);
  const text = (value) => (typeof value === "string" ? value : "");
  const build = message.build && typeof message.build === "object" ? message.build : {};
  const next = message.next && typeof message.next === "object" ? message.next : {};
  return {
    seq: number(message.seq),
    // Counts the presentations opened; null when the server does not say.
    show: Number.isInteger(message.show) ? message.show : null,
    file: text(message.file),
    // NONE, RUNNING, BLACK, WHITE, ENDED
    state: text(message.state) || "NONE",
    slide: number(message.slide),
    count: number(message.count),
    title: text(message.title),
    notes: text(message.notes),
    buildPosition: Number.isInteger(build.position) ? build.position : -1,
    buildCount: Number.isInteger(build.count) ? build.count : -1,
    nextSlide: number(next.slide),
    nextTitle: text(next.title),
    // Milliseconds the show has run when the message left, where the server
    // says so; null: the page times the show itself.
    runningMs: Number.isFinite(message.elapsed) ? message.elapsed : null,
  };
}

// The rooms' names as the server takes them in addresses.
const roomNamePattern = /^[A-Za-z0-9._-]{1,64}$/;

// One room of the venue, from /api/venue or a "room" message; null when it
// is none. `changes` rises with every change of the room (for one run of the
// server); `picture` is the picture's address or null; `remote` the room's
// own remote, an http(s) address, or null.
export function readRoom(message) {
  if (!message || typeof message !== "object" || typeof message.room !== "string") return null;
  if (!roomNamePattern.test(message.room)) return null;
  const number = (value) => (Number.isInteger(value) && value > 0 ? value : 0);
  const text = (value) => (typeof value === "string" ? value : "");
  const picture = text(message.picture);
  const remote = text(message.remote);
  return {
    room: message.room,
    online: message.online === true,
    offlineSince: text(message.offlineSince),
    file: text(message.file),
    state: text(message.state) || "NONE",
    slide: number(message.slide),
    count: number(message.count),
    title: text(message.title),
    remote: /^https?:\/\//.test(remote) ? remote : null,
    picture: picture.startsWith("/api/venue/") ? picture : null,
    changes: number(message.changes),
  };
}

// One message of the live channel, as { kind, ... }:
//   hello: first, who this device is to the server:
//          { kind: "hello", commands: [words it may send], shows: bool,
//            venue: bool (the server has the Venue view) }
//   state: { kind: "state", state }
//   moved: a NEXT or PREV that was not carried out because the show had moved
//          on since it was sent: { kind: "moved", command }
//   error: a command refused or dropped: { kind: "error", command, text }
//   ping:  { kind: "ping" }
//   room:  a room of the venue changed: { kind: "room", room } (readRoom)
// Anything else (a command carried out, a pong) reads as { kind: "other" }:
// it still shows that the link lives.
export function readLiveMessage(data) {
  let message;
  try {
    message = JSON.parse(data);
  } catch {
    return { kind: "other" };
  }
  if (!message || typeof message !== "object") return { kind: "other" };
  switch (message.type) {
    case "hello":
      return {
        kind: "hello",
        commands: Array.isArray(message.commands) ? message.commands.map(String) : null,
        shows: message.shows === true,
        venue: message.venue === true,
      };
    case "state":
      return { kind: "state", state: normaliseState(message) };
    case "result": {
      const command = String(message.command || "");
      if (message.outcome === "moved-on") return { kind: "moved", command };
      if (Number.isInteger(message.status) && message.status >= 300) {
        return { kind: "error", command, text: String(message.error || message.outcome || "") };
      }
      return { kind: "other" };
    }
    case "ping":
      return { kind: "ping" };
    case "room": {
      const room = readRoom(message);
      return room ? { kind: "room", room } : { kind: "other" };
    }
    default:
      return { kind: "other" };
  }
}

// The answer to the server's ping, or null when it wants none (a browser
// answers the WebSocket's own pings by itself).
export function pingAnswer() {
  return null;
}

// A show word for the live channel. NEXT and PREV carry the slide and build
// they were sent from, so that the server can refuse a tap that lagged
// behind the show.
export function commandMessage(word, state) {
  const message = { command: word };
  if ((word === "NEXT" || word === "PREV") && state && state.slide > 0) {
    // As the server said it, -1 ("not known") included: it compares both.
    message.from = { slide: state.slide, build: state.buildPosition };
  }
  return JSON.stringify(message);
}

async function request(method, path, body) {
  const options = {
    method,
    credentials: "same-origin",
    cache: "no-store",
    headers: { Accept: "application/json" },
  };
  if (body !== undefined) {
    options.headers["Content-Type"] = "application/json";
    options.body = JSON.stringify(body);
  }
  let response;
  try {
    response = await fetch(path, options);
  } catch {
    return { status: 0, body: null };  // the server is not reachable
  }
  let answer = null;
  try {
    answer = await response.json();
  } catch {
    answer = null;
  }
  return { status: response.status, body: answer };
}

function errorText(answer) {
  return answer.body && typeof answer.body.error === "string" ? answer.body.error : "";
}

// Pairs this device: the server sets the token as a cookie that every later
// request carries. Outcome: "paired", "wrong-code", "too-many" (wrong codes
// from this address: refused for a minute), "unreachable" or "failed".
export async function pair(code, name) {
  const answer = await request("POST", "/api/pair", { code, name });
  if (answer.status === 200) return { outcome: "paired" };
  if (answer.status === 403) return { outcome: "wrong-code" };
  if (answer.status === 429) return { outcome: "too-many" };
  if (answer.status === 0) return { outcome: "unreachable" };
  return { outcome: "failed", text: errorText(answer) || `HTTP ${answer.status}` };
}

// Whether this device's token still opens the API: "paired", "unpaired"
// (none, or one the server no longer knows: it restarted), "unreachable",
// "busy" (too many clients) or "failed".
export async function checkAccess() {
  const answer = await request("GET", "/api/state");
  if (answer.status === 200) return "paired";
  if (answer.status === 401) return "unpaired";
  if (answer.status === 0) return "unreachable";
  if (answer.status === 503) return "busy";
  return "failed";
}

// The presentations the remote may open, or null when the server offers none
// (it has no shows folder).
export async function listShows() {
  const answer = await request("GET", "/api/shows");
  if (answer.status === 200 && answer.body && Array.isArray(answer.body.shows)) {
    return answer.body.shows.filter((name) => typeof name === "string");
  }
  return null;
}

// Opens one of them; { ok, text } with the server's reason when it did not.
export async function openShow(name) {
  const answer = await request("POST", "/api/open", { name });
  if (answer.status >= 200 && answer.status < 300) return { ok: true };
  return { ok: false, text: errorText(answer) || `HTTP ${answer.status}` };
}

// Every room of the venue, sorted by name; null when the server has no Venue
// view or could not be asked.
export async function listRooms() {
  const answer = await request("GET", "/api/venue");
  if (answer.status !== 200 || !answer.body || !Array.isArray(answer.body.rooms)) return null;
  return answer.body.rooms.map(readRoom).filter((room) => room !== null);
}
