#!/usr/bin/python3
"""The web remote's Venue view in a real browser (Debian's Chromium, headless,
through chromedriver and Selenium) at a phone's size, for the benchmarks.

    venue_page_bench.py --server PATH [--quick] [--minutes M]

Starts Debian's mosquitto on a free loopback port and the program with [web]
and [mqtt] venue=on, pairs the page and opens its Venue view at 390 x 844,
then measures:

- one room's change published on the broker (a persistent MQTT connection of
  this script, QoS 0, retained, as a room's server publishes its state) to
  the new slide number in the room's tile (a MutationObserver's time stamp in
  the page), and to the next frame after it: p50 / p99 of 200 (30 with
  --quick), 0.1 s apart;
- 50 rooms, each changing slide once a second (state and picture, spread
  evenly over the second) for 60 s (20 s with --quick, M minutes with
  --minutes): the time from each change's publish to its tile showing it,
  p50 / p99 / max, and the changes not shown within 1 s; the page's JS heap
  (CDP Runtime.getHeapUsage after a forced garbage collection, 10 s in, then
  every 30 s and at the end) and its DOM nodes (Memory.getDOMCounters).

Prints markdown table rows. Both clocks are the machine's wall clock (the
page's performance.timeOrigin + performance.now()).
"""
import argparse
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import zlib
import json

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

CODE = "604918"
ROOMS = 50


def free_port(kind):
    with socket.socket(socket.AF_INET, kind) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def png(width, height, rgb):
    row = b"\0" + bytes(rgb) * width

    def chunk(kind, data):
        body = kind + data
        return len(data).to_bytes(4, "big") + body + zlib.crc32(body).to_bytes(4, "big")

    header = width.to_bytes(4, "big") + height.to_bytes(4, "big") + bytes([8, 2, 0, 0, 0])
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(row * height))
            + chunk(b"IEND", b""))


class Mqtt:
    """MQTT 3.1.1 by hand, publishing only (QoS 0): one connection, no
    process per message, so that the figures are the program's and the
    page's."""

    def __init__(self, port):
        self.socket = socket.create_connection(("127.0.0.1", port))
        self.socket.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        client = b"venue-bench"
        variable = self._text(b"MQTT") + bytes([4, 0x02]) + (60).to_bytes(2, "big")
        self._send(0x10, variable + self._text(client))
        answer = self.socket.recv(4)
        if len(answer) < 4 or answer[0] != 0x20 or answer[3] != 0:
            raise RuntimeError("the broker refused the connection")
        self.lock = threading.Lock()

    @staticmethod
    def _text(data):
        return len(data).to_bytes(2, "big") + data

    def _send(self, head, body):
        length, encoded = len(body), b""
        while True:
            byte, length = length % 128, length // 128
            encoded += bytes([byte | (0x80 if length else 0)])
            if not length:
                break
        self.socket.sendall(bytes([head]) + encoded + body)

    def publish(self, topic, payload, retained=True):
        if isinstance(payload, str):
            payload = payload.encode()
        with self.lock:
            self._send(0x30 | (1 if retained else 0), self._text(topic.encode()) + payload)

    def close(self):
        self.socket.close()


def room_name(index):
    return f"room-{index:02d}"


def state(room, slide, count=200, title=None):
    return json.dumps({"file": f"/shows/{room}.odp", "state": "RUNNING", "slide": slide, "count": count,
                       "title": title or f"Slide {slide} of {room}", "notes": "", "build": {"position": 0, "count": 0},
                       "next": {"slide": slide + 1, "title": ""}, "seq": slide, "room": room,
                       "version": "1.2", "remote": None})


# The page's side: for each room, the slide its tile shows and when that
# came, a bounded record (one entry per room), and the next frame after it.
WATCH_SCRIPT = """
window.benchSeen = new Map();
const clock = () => performance.timeOrigin + performance.now();
new MutationObserver((records) => {
  const now = clock();
  for (const record of records) {
    const node = record.target.nodeType === 1 ? record.target : record.target.parentElement;
    if (!node || !node.classList.contains("room-slide")) continue;
    const room = node.closest(".room").dataset.room;
    const seen = {text: node.textContent, at: now, frame: 0};
    window.benchSeen.set(room, seen);
    requestAnimationFrame(() => { seen.frame = clock(); });
  }
}).observe(document.getElementById("venue-rooms"), {subtree: true, childList: true, characterData: true});
"""
# Under load the page keeps its own figures, in a fixed histogram of whole
# milliseconds: each change carries when it was published as its title, and
# its tile's new title is timed as it comes. Nothing is asked of the page
# meanwhile but its heap.
LOAD_SCRIPT = """
window.benchLatency = new Uint32Array(5002);
const clock = () => performance.timeOrigin + performance.now();
new MutationObserver((records) => {
  const now = clock();
  for (const record of records) {
    const node = record.target.nodeType === 1 ? record.target : record.target.parentElement;
    if (!node || !node.classList.contains("room-title") || !node.textContent.startsWith("t=")) continue;
    const latency = Math.round(now - Number(node.textContent.slice(2)));
    window.benchLatency[Math.max(0, Math.min(5001, latency))] += 1;
  }
}).observe(document.getElementById("venue-rooms"), {subtree: true, childList: true, characterData: true});
"""
SEEN_SCRIPT = "return [...window.benchSeen].map(([room, seen]) => [room, seen.text, seen.at, seen.frame]);"


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def main():
    arguments = argparse.ArgumentParser()
    arguments.add_argument("--server", required=True)
    arguments.add_argument("--quick", action="store_true")
    arguments.add_argument("--minutes", type=float)
    options = arguments.parse_args()
    samples = 30 if options.quick else 200
    load_seconds = options.minutes * 60 if options.minutes else (20 if options.quick else 60)

    work = tempfile.mkdtemp(prefix="venue-bench-")
    broker_port = free_port(socket.SOCK_STREAM)
    with open(os.path.join(work, "mosquitto.conf"), "w") as config:
        config.write(f"listener {broker_port} 127.0.0.1\nallow_anonymous true\nset_tcp_nodelay true\n"
                     "persistence false\n")
    broker = subprocess.Popen(["mosquitto", "-c", os.path.join(work, "mosquitto.conf")],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    server = browser = mqtt = None
    try:
        deadline = time.monotonic() + 10
        while True:
            try:
                mqtt = Mqtt(broker_port)
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.05)
        web_port, udp_port = free_port(socket.SOCK_STREAM), free_port(socket.SOCK_DGRAM)
        with open(os.path.join(work, "podiant.ini"), "w") as settings:
            settings.write(f"[settings]\nport={udp_port}\naddress=127.0.0.1\n[web]\nport={web_port}\n"
                           f"code={CODE}\n[mqtt]\nbroker=127.0.0.1:{broker_port}\nroom=bench-main\n"
                           "venue=on\n")
        server = subprocess.Popen([os.path.abspath(options.server)], cwd=work, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        lines = []
        threading.Thread(target=lambda: lines.extend(server.stdout), daemon=True).start()
        deadline = time.monotonic() + 20
        while not any(b"MQTT connected" in line for line in lines):
            if time.monotonic() > deadline or server.poll() is not None:
                raise RuntimeError("the server did not connect to the broker: " + repr(lines))
            time.sleep(0.05)

        pictures = [png(160, 90, ((37 * i) % 256, (91 * i) % 256, (53 * i) % 256)) for i in range(8)]
        for index in range(ROOMS):
            room = room_name(index)
            mqtt.publish(f"podiant/{room}/status", "online")
            mqtt.publish(f"podiant/{room}/state", state(room, 1))
            mqtt.publish(f"podiant/{room}/picture", pictures[index % len(pictures)])

        chrome = webdriver.ChromeOptions()
        chrome.binary_location = "/usr/bin/chromium"
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                         "--disable-background-networking", "--disable-component-update", "--disable-sync",
                         "--no-first-run", "--enable-precise-memory-info",
                         f"--user-data-dir={work}/browser-profile"):
            chrome.add_argument(argument)
        browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=chrome)
        browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                {"width": 390, "height": 844, "deviceScaleFactor": 3, "mobile": True})
        browser.get(f"http://127.0.0.1:{web_port}/#code={CODE}&view=venue")
        WebDriverWait(browser, 30, 0.05).until(lambda _: browser.execute_script(
            "return document.querySelectorAll('#venue-rooms .room').length") == ROOMS + 1
            and not browser.find_element(By.ID, "venue").get_attribute("hidden"))
        browser.execute_script(WATCH_SCRIPT)

        # One room's change at a time.
        updated, framed = [], []
        slide = 1
        for sample in range(samples + 5):
            room = room_name(sample % ROOMS)
            slide += 1
            wanted = f"Slide {slide} of 200"
            sent = time.time() * 1000
            mqtt.publish(f"podiant/{room}/state", state(room, slide))
            seen = None
            deadline = time.monotonic() + 5
            while time.monotonic() < deadline:
                seen = browser.execute_script(
                    "const s = window.benchSeen.get(arguments[0]); return s && [s.text, s.at, s.frame];",
                    room)
                if seen and seen[0] == wanted and seen[2]:
                    break
                time.sleep(0.005)
            if not seen or seen[0] != wanted:
                raise RuntimeError(f"{room} never showed {wanted}")
            if sample >= 5:  # the first ones warm up
                updated.append(seen[1] - sent)
                framed.append(seen[2] - sent)
            time.sleep(0.1)

        # 50 rooms, each once a second, spread over the second.
        browser.execute_script(LOAD_SCRIPT)
        published = 0
        stop = threading.Event()
        slides = [slide + 1] * ROOMS

        def load():
            nonlocal published
            start = time.monotonic()
            tick = 0
            while not stop.is_set():
                index = tick % ROOMS
                room = room_name(index)
                slides[index] += 1
                title = f"t={time.time() * 1000:.3f}"
                mqtt.publish(f"podiant/{room}/state", state(room, slides[index], title=title))
                published += 1
                mqtt.publish(f"podiant/{room}/picture", pictures[slides[index] % len(pictures)])
                tick += 1
                delay = start + tick / ROOMS - time.monotonic()
                if delay > 0:
                    time.sleep(delay)

        def heap():
            browser.execute_cdp_cmd("HeapProfiler.collectGarbage", {})
            usage = browser.execute_cdp_cmd("Runtime.getHeapUsage", {})
            nodes = browser.execute_cdp_cmd("Memory.getDOMCounters", {})
            return usage["usedSize"], nodes["nodes"]

        publisher = threading.Thread(target=load, daemon=True)
        started = time.monotonic()
        publisher.start()
        heaps, heap_due = [], 10
        while time.monotonic() - started < load_seconds:
            time.sleep(0.2)
            if time.monotonic() - started >= heap_due:
                heaps.append(heap())
                heap_due += 30
        stop.set()
        publisher.join()
        time.sleep(1.5)
        heaps.append(heap())
        histogram = browser.execute_script("return Array.from(window.benchLatency)")
        shown = sum(histogram)
        # A change not shown at all (or after 5 s) is late too.
        late = published - sum(histogram[:1001])

        def at(fraction):
            wanted, total = fraction * shown, 0
            for milliseconds, count in enumerate(histogram):
                total += count
                if total >= wanted:
                    return milliseconds
            return len(histogram) - 1
        rows = [
            ("the Venue view in Chromium at 390 x 844: one room's change published on the broker to "
             f"its tile, DOM updated / next frame, p50 / p99 of {samples}",
             f"{statistics.median(updated):.1f} / {percentile(updated, 0.99):.1f} ms ; "
             f"{statistics.median(framed):.1f} / {percentile(framed, 0.99):.1f} ms"),
            (f"50 rooms each changing slide (state and picture) once a second for {load_seconds:.0f} s: "
             "publish to tile, p50 / p99 / max; changes not shown within 1 s",
             f"{at(0.5)} / {at(0.99)} / {max(i for i, n in enumerate(histogram) if n)} ms; "
             f"{late} of {published}"),
            ("the same: the page's JS heap after a forced GC, 10 s in / largest / at the end; "
             "DOM nodes 10 s in / at the end",
             f"{heaps[0][0] / 1024:.0f} / {max(h[0] for h in heaps) / 1024:.0f} / "
             f"{heaps[-1][0] / 1024:.0f} kB; {heaps[0][1]} / {heaps[-1][1]}"),
        ]
        for what, figure in rows:
            print(f"| {what} | {figure} |")
        return 0
    finally:
        if browser:
            browser.quit()
        if server and server.poll() is None:
            server.terminate()
            try:
                server.wait(timeout=20)
            except subprocess.TimeoutExpired:
                server.kill()
        if mqtt:
            mqtt.close()
        broker.kill()
        broker.wait()
        subprocess.run(["rm", "-rf", work], check=False)


if __name__ == "__main__":
    sys.exit(main())
