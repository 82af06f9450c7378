// The pairing page (opened on the presentation computer itself): the
// remote's address with the code, as text and as a QR code.
"use strict";

function drawCode(canvas, text) {
  const code = qrcode(0, "M"); // the smallest version that holds the text
  code.addData(text);
  code.make();
  const modules = code.getModuleCount();
  const quiet = 4; // the blank border that scanners need
  // From the size the page gave it (the canvas is shrunk to whole cells).
  canvas.dataset.size = canvas.dataset.size || canvas.width;
  const cell = Math.floor(canvas.dataset.size / (modules + 2 * quiet));
  const size = cell * (modules + 2 * quiet);
  canvas.width = canvas.height = size;
  const context = canvas.getContext("2d");
  context.fillStyle = "#fff";
  context.fillRect(0, 0, size, size);
  context.fillStyle = "#000";
  for (let row = 0; row < modules; row++) {
    for (let column = 0; column < modules; column++) {
      if (code.isDark(row, column)) {
        context.fillRect((column + quiet) * cell, (row + quiet) * cell, cell, cell);
      }
    }
  }
}

// The code is asked for again every few seconds: the server draws a new one
// after too many wrong codes, and the page shows the new one by itself.
const refreshMs = 5000;
let shownUrl = "";

function showPairing() {
  fetch("/api/pairing", { cache: "no-store" })
    .then((response) => {
      if (!response.ok) throw new Error("the server answered " + response.status);
      return response.json();
    })
    .then((pairing) => {
      document.getElementById("error").textContent = "";
      if (pairing.url === shownUrl) return;
      shownUrl = pairing.url;
      document.getElementById("url").textContent = pairing.url;
      document.getElementById("code").textContent = pairing.code;
      drawCode(document.getElementById("qr"), pairing.url);
    })
    .catch((failure) => {
      document.getElementById("error").textContent = "No pairing code: " + failure.message;
    })
    .finally(() => setTimeout(showPairing, refreshMs));
}

showPairing();
