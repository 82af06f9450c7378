#!/usr/bin/python3
"""The remote's page in a real browser (Debian's Chromium, headless, driven by
chromedriver through Selenium) against the real program with a real
LibreOffice Impress. Started by web_page_test, which gives it an X display
with a window manager, a pipe and a profile of its own, and removes the
office afterwards.

The page pairs by the code in its address, opens a show from the shows
folder, steps it with a tap and with keys, and follows slide, notes and the
next slide's picture; the server goes away and the page says so; the server
starts again with the same code and the page links again by itself with the
cookie it was given (it keeps no code and never sees the token) and shows the
show as it now is. With --screenshots DIR it also takes the pictures of
docs/web-remote.md and the README (scripts/web-screenshots.sh).

With --scenario venue (no office): a Mosquitto broker of its own carries two
rooms (their status and state retained, one with a picture), the program with
[mqtt] venue=on, and the page's Venue view shows every room sorted, follows a
room's change in that room's tile alone, and says since when a room is
offline; with --screenshots DIR it takes docs/web-remote-venue.png."""
import argparse
import json
import os
import re
import signal
import socket
import subprocess
import sys
import threading
import time
import zipfile
import zlib

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

CODE = "482913"
OFFICE_SECONDS = 120  #: an OPEN that starts the office on a busy machine
STEP_SECONDS = 30  #: anything else

# The deck: background, title, outline, shapes built one click each, notes.
SLIDES = [
    ("#1e3a5f", "Quarterly review", ["Operations team"], [],
     "Welcome everyone, and thanks to the venue crew.\nAbout twenty minutes; questions at the end."),
    ("#0f5257", "Agenda", ["Where we stand", "What changed", "Next quarter"], [],
     "Three parts. Keep the first one short:\nthe numbers are in the handout."),
    ("#4a2545", "What changed", [], ["New stage monitors in every room", "A remote on every phone"],
     "Click once for each point.\nMention that the clickers no longer run out of batteries."),
    ("#3d4a1f", "Next quarter", ["Pilot in two rooms", "Training for the crews"], [],
     "Ask for volunteers for the pilot."),
    ("#5a3a14", "Questions?", [], [], "Repeat each question for the stream."),
]


def write_deck(path):
    """A presentation the office reads with real placeholders: frames with a
    presentation:class need a presentation:style-name, or they import as plain
    text shapes."""
    ns = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
          'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" '
          'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
          'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" '
          'xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" '
          'xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" '
          'xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0" '
          'xmlns:smil="urn:oasis:names:tc:opendocument:xmlns:smil-compatible:1.0" '
          'xmlns:anim="urn:oasis:names:tc:opendocument:xmlns:animation:1.0" office:version="1.2"')

    def frame(kind, y, height, paragraphs):
        text = "".join(f'<text:p><text:span text:style-name="t-{kind}">{p}</text:span></text:p>'
                       for p in paragraphs)
        return (f'<draw:frame presentation:style-name="pr-{kind}" presentation:class="{kind}" '
                f'draw:layer="layout" svg:x="1.5cm" svg:y="{y}cm" svg:width="25cm" '
                f'svg:height="{height}cm"><draw:text-box>{text}</draw:text-box></draw:frame>')

    def click(target):
        return ('<anim:par smil:begin="next"><anim:par smil:begin="0s"><anim:par smil:begin="0s" '
                'smil:fill="hold" presentation:node-type="on-click" presentation:preset-class="entrance" '
                'presentation:preset-id="ooo-entrance-appear"><anim:set smil:begin="0s" smil:dur="0.001s" '
                f'smil:fill="hold" smil:targetElement="{target}" smil:attributeName="visibility" '
                'smil:to="visible"/></anim:par></anim:par></anim:par>')

    # The text's look on its characters (the text properties of a frame's
    # own style did not reach its text).
    text_style = ('<style:style style:name="t-{}" style:family="text"><style:text-properties '
                  'fo:font-size="{}pt" fo:color="{}" fo:font-weight="{}"/></style:style>')
    styles = "".join(text_style.format(*look) for look in (
        ("title", 44, "#ffffff", "bold"), ("outline", 30, "#ffffff", "normal"),
        ("notes", 12, "#000000", "normal"), ("built", 30, "#ffd866", "bold")))
    styles += "".join(f'<style:style style:name="{name}" style:family="{family}"><style:graphic-properties '
                      'draw:fill="none" draw:stroke="none"/></style:style>'
                      for name, family in (("pr-title", "presentation"), ("pr-outline", "presentation"),
                                           ("pr-notes", "presentation"), ("built", "graphic")))
    pages = ""
    for index, (colour, title, outline, built, notes) in enumerate(SLIDES):
        styles += (f'<style:style style:name="dp{index}" style:family="drawing-page">'
                   f'<style:drawing-page-properties draw:fill="solid" draw:fill-color="{colour}"/>'
                   '</style:style>')
        shapes = frame("title", 1, 3, [title]) + (frame("outline", 4.5, 9, outline) if outline else "")
        steps = ""
        for k, text in enumerate(built):
            name = f"b{index}{k}"
            shapes += (f'<draw:frame draw:style-name="built" draw:id="{name}" svg:x="2cm" '
                       f'svg:y="{5 + 3 * k}cm" svg:width="24cm" svg:height="2.5cm"><draw:text-box>'
                       f'<text:p><text:span text:style-name="t-built">{text}</text:span></text:p></draw:text-box>'
                       '</draw:frame>')
            steps += click(name)
        if steps:
            shapes += ('<anim:par presentation:node-type="timing-root"><anim:seq '
                       f'presentation:node-type="main-sequence">{steps}</anim:seq></anim:par>')
        pages += (f'<draw:page draw:name="s{index + 1}" draw:style-name="dp{index}" '
                  'draw:master-page-name="Default" presentation:presentation-page-layout-name="L">'
                  f'{shapes}<presentation:notes><draw:page-thumbnail presentation:class="page" '
                  'draw:layer="layout" svg:x="2cm" svg:y="2cm" svg:width="14cm" svg:height="8cm"/>'
                  f'{frame("notes", 13, 12, notes.split(chr(10)))}</presentation:notes></draw:page>')
    content = (f'<?xml version="1.0" encoding="UTF-8"?><office:document-content {ns}>'
               f'<office:automatic-styles>{styles}</office:automatic-styles><office:body>'
               f'<office:presentation>{pages}</office:presentation></office:body>'
               '</office:document-content>')
    layout = ''.join(f'<presentation:placeholder presentation:object="{kind}" svg:x="1.5cm" '
                     f'svg:y="{y}cm" svg:width="25cm" svg:height="{h}cm"/>'
                     for kind, y, h in (("title", 1, 3), ("outline", 4.5, 9)))
    styles_xml = (f'<?xml version="1.0" encoding="UTF-8"?><office:document-styles {ns}><office:styles>'
                  f'<style:presentation-page-layout style:name="L">{layout}'
                  '</style:presentation-page-layout></office:styles><office:automatic-styles>'
                  '<style:page-layout style:name="PM1"><style:page-layout-properties '
                  'fo:page-width="28cm" fo:page-height="15.75cm"/></style:page-layout>'
                  '</office:automatic-styles><office:master-styles><style:master-page '
                  'style:name="Default" style:page-layout-name="PM1"/></office:master-styles>'
                  '</office:document-styles>')
    entries = "".join(f'<manifest:file-entry manifest:full-path="{name}" manifest:media-type="{kind}"/>'
                      for name, kind in (("/", "application/vnd.oasis.opendocument.presentation"),
                                         ("content.xml", "text/xml"), ("styles.xml", "text/xml")))
    manifest = ('<?xml version="1.0" encoding="UTF-8"?><manifest:manifest xmlns:manifest='
                '"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.2">'
                f'{entries}</manifest:manifest>')
    with zipfile.ZipFile(path, "w") as package:
        package.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.presentation")
        for name, text in (("content.xml", content), ("styles.xml", styles_xml),
                           ("META-INF/manifest.xml", manifest)):
            package.writestr(name, text, zipfile.ZIP_DEFLATED)


def free_port(kind):
    with socket.socket(socket.AF_INET, kind) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Server:
    """The program in its working directory, its output collected."""

    def __init__(self, program, directory):
        self.program, self.directory = program, directory
        self.lines, self.process = [], None

    def start(self):
        mark = len(self.lines)
        self.process = subprocess.Popen([self.program], cwd=self.directory, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.lines.append("--- started")
        threading.Thread(target=self._read, args=(self.process.stdout,), daemon=True).start()
        self.wait_for(r"^Web remote at http://127\.0\.0\.1:\d+/ code \d{6}$", since=mark)

    def _read(self, output):
        for line in output:
            self.lines.append(line.decode("utf-8", "replace").rstrip("\n"))

    def wait_for(self, pattern, seconds=STEP_SECONDS, since=0):
        deadline = time.monotonic() + seconds
        while not any(re.search(pattern, line) for line in self.lines[since:]):
            if time.monotonic() > deadline or self.process.poll() is not None:
                raise AssertionError(f"the server wrote no line like {pattern!r}")
            time.sleep(0.02)

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        assert self.process.wait(timeout=OFFICE_SECONDS) == 0, "the server did not end cleanly"


def start_browser(directory):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    # Shared memory in /tmp, not /dev/shm: a container's /dev/shm may hold
    # only 64 MB, too little for the renderer.
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--disable-background-networking", "--disable-component-update",
                     "--disable-sync", "--no-first-run", f"--user-data-dir={directory}/browser-profile"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    # The browser calls itself offline, as Chromium does on a computer with no
    # network but loopback (a test machine may be one): the page must not care.
    browser.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {
        "source": "Object.defineProperty(navigator, 'onLine', {get: () => false})"})
    phone(browser, 390, 844)
    return browser


def phone(browser, width, height, scale=2):
    """The viewport of a phone held upright (390 x 844: a current iPhone)."""
    browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
        "width": width, "height": height, "deviceScaleFactor": scale, "mobile": True})


def text_of(browser, element_id):
    return browser.find_element(By.ID, element_id).get_attribute("textContent").strip()


# The picture an <img> shows: its address and the colour of its top left
# corner (the slide's background), once it has arrived.
PICTURE_SCRIPT = """
const img = document.getElementById(arguments[0]);
if (!img.complete || !img.naturalWidth || !img.getAttribute("src")) return null;
const canvas = document.createElement("canvas");
canvas.width = img.naturalWidth; canvas.height = img.naturalHeight;
const context = canvas.getContext("2d");
context.drawImage(img, 0, 0);
const [r, g, b] = context.getImageData(4, 4, 1, 1).data;
return [img.getAttribute("src"), r, g, b];
"""


def shows_slide(browser, element_id, slide):
    picture = browser.execute_script(PICTURE_SCRIPT, element_id)
    if not picture or f"/api/slides/{slide}.png?" not in picture[0]:
        return False
    colour = SLIDES[slide - 1][0]
    wanted = [int(colour[i:i + 2], 16) for i in (1, 3, 5)]
    return all(abs(got - want) <= 12 for got, want in zip(picture[1:], wanted))


def page_shows(browser, slide, count=len(SLIDES)):
    """Slide `slide` as current, its notes, and the next slide's picture."""
    _, title, _, _, notes = SLIDES[slide - 1]
    return (browser.find_element(By.TAG_NAME, "body").get_attribute("data-link") == "live"
            and text_of(browser, "p-slide") == f"Slide {slide} of {count}"
            and text_of(browser, "p-title") == title
            and text_of(browser, "p-notes") == notes
            and shows_slide(browser, "p-current", slide)
            and (slide == count or shows_slide(browser, "p-next", slide + 1)))


def link_of(browser):
    return browser.find_element(By.TAG_NAME, "body").get_attribute("data-link")


def check_secrets_kept(browser, web_port):
    """The code is in none of the page's storage; the token only in the
    browser's cookie of this server's port, which the page cannot read."""
    stored = browser.execute_script(
        "return Object.keys(localStorage).map((key) => key + '=' + localStorage.getItem(key))")
    assert not any(CODE in value for value in stored), f"the page keeps the code: {stored}"
    assert browser.execute_script("return document.cookie") == "", "the page reads the cookie"
    cookies = [(cookie["name"], cookie["httpOnly"]) for cookie in browser.get_cookies()]
    assert cookies == [(f"podiant_token_{web_port}", True)], cookies


def take_screenshots(browser, folder):
    """Presenter, Clicker and Stage at a phone's size for docs/web-remote.md,
    and the three side by side for the README."""
    browser.find_element(By.ID, "p-timer").click()
    browser.find_element(By.ID, "countdown-minutes").send_keys("20")
    browser.find_element(By.CSS_SELECTOR, '#timer-dialog button[value="set"]').click()
    names = []
    for view in ("presenter", "clicker", "stage"):
        browser.find_element(By.CSS_SELECTOR, f'nav [data-view="{view}"]').click()
        time.sleep(1.5)  # the pictures at the new view's sizes
        names.append(os.path.join(folder, f"web-remote-{view}.png"))
        browser.save_screenshot(names[-1])
    subprocess.run(["convert", *names, "-resize", "50%", "-bordercolor", "#101318", "-border", "6",
                    "+append", os.path.join(folder, "web-remote.png")], check=True)


class Broker:
    """Debian's mosquitto on a free loopback port, and mosquitto_pub."""

    def __init__(self, directory):
        self.port = free_port(socket.SOCK_STREAM)
        self.directory = directory
        config = os.path.join(directory, "mosquitto.conf")
        with open(config, "w") as lines:
            lines.write(f"listener {self.port} 127.0.0.1\nallow_anonymous true\n"
                        "set_tcp_nodelay true\npersistence false\n")
        self.process = subprocess.Popen(["mosquitto", "-c", config], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + STEP_SECONDS
        while True:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                if time.monotonic() > deadline or self.process.poll() is not None:
                    raise AssertionError("mosquitto does not listen")
                time.sleep(0.05)

    def publish(self, topic, payload, retained=True):
        """A text, or the bytes of a file (a picture)."""
        command = ["mosquitto_pub", "-h", "127.0.0.1", "-p", str(self.port), "-q", "1", "-t", topic]
        command += ["-f", payload[1:]] if payload.startswith("@") else ["-m", payload]
        subprocess.run(command + (["-r"] if retained else []), check=True, timeout=STEP_SECONDS)

    def stop(self):
        self.process.kill()
        self.process.wait()


def png(path, width, height, rgb):
    """A picture of one colour, written without any imaging library."""
    row = b"\0" + bytes(rgb) * width
    def chunk(kind, data):
        body = kind + data
        return len(data).to_bytes(4, "big") + body + zlib.crc32(body).to_bytes(4, "big")
    header = width.to_bytes(4, "big") + height.to_bytes(4, "big") + bytes([8, 2, 0, 0, 0])
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                  + chunk(b"IDAT", zlib.compress(row * height)) + chunk(b"IEND", b""))


def room_state(room, slide, count, title, state="RUNNING", remote=None):
    return json.dumps({"file": f"/shows/{room}.odp", "state": state, "slide": slide, "count": count,
                       "title": title, "notes": "", "build": {"position": 0, "count": 0},
                       "next": None, "seq": slide, "room": room, "version": "1.2", "remote": remote})


# Every tile of the Venue view: its room and its texts, and what its picture
# shows (the address and the colour of its middle, once it has arrived).
TILES_SCRIPT = """
return [...document.querySelectorAll("#venue-rooms .room")].map((tile) => {
  const img = tile.querySelector("img");
  let picture = null;
  if (img.getAttribute("src") && img.complete && img.naturalWidth) {
    const canvas = document.createElement("canvas");
    canvas.width = img.naturalWidth; canvas.height = img.naturalHeight;
    const context = canvas.getContext("2d");
    context.drawImage(img, 0, 0);
    picture = [img.getAttribute("src"), ...context.getImageData(8, 8, 1, 1).data.slice(0, 3)];
  }
  const text = (name) => tile.querySelector(name).textContent;
  return {room: tile.dataset.room, status: text(".room-status"), slide: text(".room-slide"),
          title: text(".room-title"), badge: text(".screen-badge"),
          href: tile.querySelector("a").getAttribute("href"), picture};
});
"""

# Which rooms' tiles change, from now on.
WATCH_SCRIPT = """
window.changedRooms = new Set();
new MutationObserver((records) => {
  for (const record of records) {
    const tile = (record.target.nodeType === 1 ? record.target : record.target.parentElement)
        .closest(".room");
    window.changedRooms.add(tile ? tile.dataset.room : "(the list)");
  }
}).observe(document.getElementById("venue-rooms"),
           {subtree: true, childList: true, characterData: true, attributes: true});
"""


def venue_scenario(options):
    directory = options.directory
    broker = Broker(directory)
    picture = os.path.join(directory, "hall-b.png")
    png(picture, 64, 36, (0x0f, 0x52, 0x57))
    broker.publish("podiant/hall-b/status", "online")
    broker.publish("podiant/hall-b/state", room_state("hall-b", 2, 5, "Agenda"))
    broker.publish("podiant/hall-b/picture", "@" + picture)
    broker.publish("podiant/hall-a/status", "online")
    broker.publish("podiant/hall-a/state",
                   room_state("hall-a", 1, 3, "Welcome", remote="http://127.0.0.1:9/"))
    udp_port, web_port = free_port(socket.SOCK_DGRAM), free_port(socket.SOCK_STREAM)
    with open(os.path.join(directory, "podiant.ini"), "w") as settings:
        settings.write(f"[settings]\nport={udp_port}\naddress=127.0.0.1\n[web]\nport={web_port}\n"
                       f"code={CODE}\n[mqtt]\nbroker=127.0.0.1:{broker.port}\nroom=main\nvenue=on\n")
    server = Server(options.program, directory)
    browser = None
    step = "starting"
    try:
        server.start()
        browser = start_browser(directory)

        def wait(what, condition, seconds=STEP_SECONDS):
            nonlocal step
            step = what
            WebDriverWait(browser, seconds, poll_frequency=0.05).until(lambda _: condition())

        def tiles():
            return {tile["room"]: tile for tile in browser.execute_script(TILES_SCRIPT)}

        browser.get(f"http://127.0.0.1:{web_port}/#code={CODE}")
        wait("paired", lambda: link_of(browser) == "live")
        button = browser.find_element(By.CSS_SELECTOR, 'nav [data-view="venue"]')
        wait("the Venue view offered", button.is_displayed)
        button.click()
        # Every room, this server's own too, sorted by name.
        wait("the rooms listed", lambda: [tile["room"] for tile in browser.execute_script(TILES_SCRIPT)]
             == ["hall-a", "hall-b", "main"])
        wait("the rooms shown", lambda: (
            tiles()["hall-a"]["slide"] == "Slide 1 of 3" and tiles()["hall-a"]["title"] == "Welcome"
            and tiles()["hall-b"]["slide"] == "Slide 2 of 5" and tiles()["hall-b"]["title"] == "Agenda"
            and tiles()["main"]["slide"] == "No show"
            and all(tile["status"] == "Online" for tile in tiles().values())))
        wait("the picture of hall-b", lambda: (tiles()["hall-b"]["picture"] or [""])[0].startswith(
            "/api/venue/hall-b/picture?tag=") and tiles()["hall-b"]["picture"][1:] == [0x0f, 0x52, 0x57])
        shown = tiles()
        if options.screenshots:
            browser.save_screenshot(os.path.join(options.screenshots, "web-remote-venue.png"))
        assert shown["hall-a"]["picture"] is None, shown["hall-a"]
        # A tile links to its room's own remote, when it has one.
        assert shown["hall-a"]["href"] == "http://127.0.0.1:9/", shown["hall-a"]
        assert shown["hall-b"]["href"] is None, shown["hall-b"]

        # A room's change reaches its tile, and no other tile changes.
        browser.execute_script(WATCH_SCRIPT)
        broker.publish("podiant/hall-a/state",
                       room_state("hall-a", 2, 3, "Programme", "BLACK", "http://127.0.0.1:9/"))
        wait("hall-a changed", lambda: tiles()["hall-a"]["slide"] == "Slide 2 of 3"
             and tiles()["hall-a"]["title"] == "Programme" and tiles()["hall-a"]["badge"] == "BLACK")
        changed = browser.execute_script("return [...window.changedRooms]")
        assert changed == ["hall-a"], changed

        # A room whose server went (its last will): since when.
        broker.publish("podiant/hall-b/status", "offline")
        wait("hall-b offline", lambda: re.fullmatch(r"Offline since \d\d:\d\d", tiles()["hall-b"]["status"]))
        assert tiles()["hall-b"]["slide"] == "Slide 2 of 5"
        server.stop()
        print("venue scenario: passed")
        return 0
    except Exception as failure:
        print(f"FAILED at {step!r}: {type(failure).__name__}: {failure}")
        if browser:
            print("  tiles:", browser.execute_script(TILES_SCRIPT))
            print("  data-link:", link_of(browser))
            for entry in browser.get_log("browser"):
                print("  console:", entry.get("message"))
        print("server output:\n  " + "\n  ".join(server.lines))
        return 1
    finally:
        if browser:
            browser.quit()
        if server.process and server.process.poll() is None:
            server.process.kill()
        broker.stop()


def main():
    arguments = argparse.ArgumentParser()
    arguments.add_argument("--program", required=True)
    arguments.add_argument("--directory", required=True)
    arguments.add_argument("--scenario", choices=("show", "venue"), default="show")
    for name in ("--pipe", "--profile"):
        arguments.add_argument(name)
    arguments.add_argument("--screenshots")
    options = arguments.parse_args()
    if options.scenario == "venue":
        return venue_scenario(options)
    if not options.pipe or not options.profile:
        arguments.error("the show needs --pipe and --profile")
    directory = options.directory
    shows = os.path.join(directory, "shows")
    os.mkdir(shows)
    write_deck(os.path.join(shows, "talk.odp"))
    udp_port, web_port = free_port(socket.SOCK_DGRAM), free_port(socket.SOCK_STREAM)
    with open(os.path.join(directory, "podiant.ini"), "w") as settings:
        settings.write(f"[settings]\nport={udp_port}\naddress=127.0.0.1\n[impress]\npipe={options.pipe}\n"
                       f"profile={options.profile}\n[web]\nport={web_port}\ncode={CODE}\nshows={shows}\n")
    server = Server(options.program, directory)
    browser = None
    step = "starting"
    try:
        server.start()
        browser = start_browser(directory)

        def wait(what, condition, seconds=STEP_SECONDS):
            nonlocal step
            step = what
            WebDriverWait(browser, seconds, poll_frequency=0.05).until(lambda _: condition())

        # Paired by the code in the address, which the page then drops.
        browser.get(f"http://127.0.0.1:{web_port}/#code={CODE}")
        wait("paired by the address", lambda: link_of(browser) == "live")
        assert "code" not in browser.execute_script("return location.hash")
        check_secrets_kept(browser, web_port)
        # The page over loopback pays no heed to the browser calling itself
        # offline (which it does throughout, see start_browser).
        browser.execute_script("window.dispatchEvent(new Event('offline'))")
        assert link_of(browser) == "live"

        # A show from the shows folder.
        browser.find_element(By.CSS_SELECTOR, 'nav [data-view="shows"]').click()
        wait("the shows listed", lambda: text_of(browser, "show-list") == "talk.odp")
        browser.find_element(By.CSS_SELECTOR, "#show-list button").click()
        wait("the show opened", lambda: page_shows(browser, 1), OFFICE_SECONDS)

        # A tap on NEXT, then keys as a clicker sends them.
        browser.find_element(By.CSS_SELECTOR, "#presenter .step.next").click()
        wait("NEXT tapped", lambda: page_shows(browser, 2))
        # The status line names the device as the page named it at pairing.
        server.wait_for(r'^W Browser 127\.0\.0\.1 \d\d:\d\d:\d\d -> "NEXT"$')
        ActionChains(browser).send_keys(Keys.PAGE_DOWN).perform()
        wait("Page Down", lambda: page_shows(browser, 3) and text_of(browser, "p-builds") == "2 builds left")
        ActionChains(browser).send_keys("b").perform()
        black = browser.find_element(By.CSS_SELECTOR, '#presenter [data-command="BLACK"]')
        wait("B: black", lambda: black.get_attribute("aria-pressed") == "true")
        ActionChains(browser).send_keys("b").perform()
        wait("B again: resumed", lambda: black.get_attribute("aria-pressed") == "false"
             and link_of(browser) == "live" and text_of(browser, "p-slide") == "Slide 3 of 5")

        # The server goes away: the page says so and keeps what it showed as stale.
        server.stop()
        wait("the server lost", lambda: link_of(browser) == "offline"
             and text_of(browser, "link-text") == "Offline"
             and text_of(browser, "banner").startswith("Server lost, reconnecting… What you see is "))

        # Back with the same code and port: linked again by itself with its
        # cookie, the show as it is now (a controller opened it again at slide
        # 3), not as it was.
        server.start()
        wait("linked again", lambda: link_of(browser) == "live")
        check_secrets_kept(browser, web_port)
        assert text_of(browser, "p-slide") == "No show", text_of(browser, "p-slide")
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as datagrams:
            datagrams.sendto(f"OPEN {shows}/talk.odp".encode(), ("127.0.0.1", udp_port))
            wait("opened by a controller", lambda: page_shows(browser, 1), OFFICE_SECONDS)
            datagrams.sendto(b"GOTO 3", ("127.0.0.1", udp_port))
            wait("moved by a controller", lambda: page_shows(browser, 3))

        if options.screenshots:
            step = "screenshots"
            take_screenshots(browser, options.screenshots)
        print("web page scenario: passed")
        return 0
    except Exception as failure:  # every failure with what the page and the server showed
        print(f"FAILED at {step!r}: {type(failure).__name__}: {failure}")
        if browser:
            for element_id in ("link-text", "banner", "p-slide", "p-title", "p-notes", "p-builds"):
                print(f"  #{element_id}: {text_of(browser, element_id)!r}")
            print("  data-link:", link_of(browser))
            for entry in browser.get_log("browser"):
                print("  console:", entry.get("message"))
        print("server output:\n  " + "\n  ".join(server.lines))
        return 1
    finally:
        if browser:
            browser.quit()
        if server.process and server.process.poll() is None:
            server.process.kill()


if __name__ == "__main__":
    sys.exit(main())
