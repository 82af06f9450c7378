// The Venue view: a tile for each room of the venue, sorted by the room's
// name, each kept up to date by the server's "room" messages. A change
// touches its own tile only, and within it only what changed, so that a
// phone keeps up with fifty rooms changing every second. Read only: a tile
// at most links to the room's own remote.
import * as protocol from "./protocol.js";

let list = null;
let empty = null;
const tiles = new Map();  // room name -> tile
const names = [];  // the tiles' rooms, sorted as they stand in the list
let loadNumber = 0;  // the latest load of the whole list; older answers are dropped

function element(tag, className, parent) {
  const made = document.createElement(tag);
  if (className) made.className = className;
  if (parent) parent.append(made);
  return made;
}

function makeTile(name) {
  const item = element("li", "room");
  item.dataset.room = name;
  const link = element("a", "room-link", item);
  const head = element("div", "room-head", link);
  const title = element("span", "room-name", head);
  title.textContent = name;
  const tile = {
    item,
    link,
    status: element("span", "room-status", head),
    frame: element("div", "frame room-frame", link),
    slide: element("p", "room-slide", link),
    title: element("p", "room-title", link),
    file: element("p", "room-file", link),
    shown: {},  // what each part shows now
    changes: -1,  // the room's `changes` as last shown; -1: take any
    current: false,  // heard of on the current connection
  };
  tile.picture = element("img", "room-picture", tile.frame);
  tile.picture.alt = `Slide in ${name}`;
  tile.picture.loading = "lazy";
  tile.picture.decoding = "async";
  tile.badge = element("span", "screen-badge", tile.frame);
  tile.frame.hidden = true;
  return tile;
}

// The first index whose name sorts after `name` (names compare as the
// server sorts them: by their bytes, which are ASCII).
function placeOf(name) {
  let low = 0;
  let high = names.length;
  while (low < high) {
    const middle = (low + high) >> 1;
    if (names[middle] < name) low = middle + 1;
    else high = middle;
  }
  return low;
}

function tileOf(name) {
  let tile = tiles.get(name);
  if (tile) return tile;
  tile = makeTile(name);
  const at = placeOf(name);
  const before = at < names.length ? tiles.get(names[at]).item : null;
  list.insertBefore(tile.item, before);
  names.splice(at, 0, name);
  tiles.set(name, tile);
  empty.hidden = true;
  return tile;
}

function removeTile(name) {
  const tile = tiles.get(name);
  tile.item.remove();
  tiles.delete(name);
  names.splice(placeOf(name), 1);
}

// Sets a part's text, or an attribute, only when it changes.
function setText(tile, key, target, text) {
  if (tile.shown[key] === text) return;
  tile.shown[key] = text;
  target.textContent = text;
}

function changed(tile, key, value) {
  if (tile.shown[key] === value) return false;
  tile.shown[key] = value;
  return true;
}

function slideText(room) {
  if (room.state === "NONE" || !room.slide) return "No show";
  const position = room.count ? `Slide ${room.slide} of ${room.count}` : `Slide ${room.slide}`;
  return room.state === "ENDED" ? `${position} · ended` : position;
}

function fileName(path) {
  return path.split(/[\\/]/).pop();
}

function render(tile, room) {
  const status = room.online ? "Online" : room.offlineSince ? `Offline since ${room.offlineSince}` : "Offline";
  setText(tile, "status", tile.status, status);
  if (changed(tile, "online", room.online)) tile.item.dataset.online = String(room.online);
  setText(tile, "slide", tile.slide, slideText(room));
  setText(tile, "title", tile.title, room.state === "NONE" ? "" : room.title);
  setText(tile, "file", tile.file, fileName(room.file));
  const screen = room.state === "BLACK" || room.state === "WHITE" ? room.state : "";
  setText(tile, "badge", tile.badge, screen);
  if (changed(tile, "screen", room.state)) tile.item.dataset.show = room.state;
  if (changed(tile, "picture", room.picture)) {
    if (room.picture) {
      tile.picture.src = room.picture;
    } else {
      tile.picture.removeAttribute("src");
    }
    tile.frame.hidden = !room.picture;
  }
  if (changed(tile, "remote", room.remote)) {
    if (room.remote) {
      tile.link.href = room.remote;
      tile.link.target = "_blank";
      tile.link.rel = "noopener noreferrer";
      tile.link.setAttribute("aria-label", `${room.room}: open its remote`);
    } else {
      for (const name of ["href", "target", "rel", "aria-label"]) tile.link.removeAttribute(name);
    }
  }
}

// A room as a "room" message tells it: shown unless the tile shows a newer
// state of it already.
export function applyRoom(room) {
  const tile = tileOf(room.room);
  tile.current = true;
  if (room.changes <= tile.changes) return;
  tile.changes = room.changes;
  render(tile, room);
}

// Every room anew, once per connection (the server may have started again
// and counts its rooms' changes anew): rooms it no longer has go, and a room
// message that came first is not overwritten by an older word of the list.
export async function loadRooms() {
  const number = ++loadNumber;
  for (const tile of tiles.values()) {
    tile.changes = -1;
    tile.current = false;
  }
  const rooms = await protocol.listRooms();
  if (number !== loadNumber || rooms === null) return;
  const listed = new Set();
  for (const room of rooms) {
    listed.add(room.room);
    const tile = tileOf(room.room);
    tile.current = true;
    if (room.changes < tile.changes) continue;
    tile.changes = room.changes;
    render(tile, room);
  }
  for (const name of [...names]) {
    if (!listed.has(name) && !tiles.get(name).current) removeTile(name);
  }
  empty.hidden = names.length > 0;
}

export function startVenue(listElement, emptyElement) {
  list = listElement;
  empty = emptyElement;
}
