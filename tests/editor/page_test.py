#!/usr/bin/python3
"""The editor page in a real headless Chromium, driven as a person would: keys, clicks, drags.

    page_test.py URL TIMELINE [--picture COMMAND]

URL is the editor's address with its token (`editor: URL` on vordel's standard error), TIMELINE the
file vordel edits; both may also come from VORDEL_EDITOR_URL and VORDEL_TIMELINE. COMMAND, run by
the shell, prints something that changes with the demo's picture (a checksum of the screen): the
drag must change it. The timeline must be the bundled one, and vordel must be at its start. Every
wait polls for what the page shows, with a generous limit; nothing waits a fixed time to be ready.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time
import urllib.parse

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

TRACKS = ["scene", "clear.r", "clear.g", "clear.b", "fade.r", "fade.g", "fade.b", "fade.a", "cam.x", "cam.y",
          "cam.z", "cam.lookx", "cam.looky", "cam.lookz", "scp.a", "scp.b", "scp.c", "fog", "text.i", "text.fade"]
INTERPOLATIONS = ["hold", "linear", "smooth", "ramp"]
LIMIT_S = 10.0


class Failure(Exception):
    pass


def wait(what, condition, limit=LIMIT_S):
    end = time.monotonic() + limit
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure(f"not within {limit} s: {what}")
        time.sleep(0.02)


def same(shown, value):
    """Equal as single-precision values, whether the page got them widened to double or not."""
    return shown is not None and abs(shown - value) <= 1e-6 * max(1.0, abs(value))


def rows_of(token):
    m = re.fullmatch(r"(\d+)(?::(\d)(?::(\d))?)?", token)
    return None if not m else int(m[1]) if m[2] is None else int(m[1]) * 32 + int(m[2]) * 8 + int(m[3] or 0)


def keys_in(text):
    """{(track, row): (value, interp, line number, column)} of a timeline's text, read crudely."""
    keys, names = {}, []
    for number, line in enumerate(text.split("\n")):
        words = line.split("#")[0].split()
        if words and words[0] == "track":
            names = words[1:]
        elif words and rows_of(words[0]) is not None:
            for column, (name, value) in enumerate(zip(names, words[1:-1])):
                if value != "-":
                    keys[(name, rows_of(words[0]))] = (float(value), words[-1], number, column)
    return keys


def headless_chromium(window_size="1280,1000", script_timeout=30, extra=()):
    """Debian's headless Chromium, as this test, the page benchmark and the screenshot start it."""
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for a in ["--headless=new", "--disable-dev-shm-usage", "--disable-gpu", "--no-first-run", "--disable-sync",
              "--disable-background-networking", "--disable-component-update", "--window-size=" + window_size,
              "--user-data-dir=" + tempfile.mkdtemp(prefix="vordel-chromium-"), *extra,
              *(["--no-sandbox"] if os.geteuid() == 0 else [])]:
        options.add_argument(a)
    d = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    d.set_script_timeout(script_timeout)
    return d


class Page:
    def __init__(self, url, timeline):
        self.url, self.timeline = url, timeline
        self.d = headless_chromium(script_timeout=LIMIT_S)

    def js(self, script, *args):
        return self.d.execute_script(script, *args)

    def text(self, element_id):
        return self.d.find_element(By.ID, element_id).text

    def lane(self, track):
        return self.d.find_element(By.CSS_SELECTOR, f'.lane[data-track="{track}"]')

    def handle(self, track, row):
        found = self.d.find_elements(By.CSS_SELECTOR, f'.lane[data-track="{track}"] [data-row="{row}"]')
        return found[0] if found else None

    def attribute(self, track, row, name):
        """An attribute of a key handle, read in one step: handles are replaced when the timeline reloads."""
        return self.js(f"const e = document.querySelector('.lane[data-track=\"{track}\"] [data-row=\"{row}\"]');"
                       f"return e && e.getAttribute('{name}')")

    def value(self, track, row):
        shown = self.attribute(track, row, "data-value")
        return None if shown is None else float(shown)

    def press(self, *keys):
        ActionChains(self.d).send_keys(*keys).perform()

    def focus_timeline(self):
        self.js("document.getElementById('timeline').focus()")

    def bytes(self):
        with open(self.timeline, "rb") as f:
            return f.read()

    def playhead_x(self):
        return self.d.find_element(By.ID, "playhead").rect["x"]

    def position(self):
        return self.text("position")

    def cursor_to(self, track):
        """Arrows to a lane, as a person would; the page announces where the cursor is."""
        self.focus_timeline()
        self.press(*([Keys.ARROW_LEFT] * len(TRACKS)))
        self.press(*([Keys.ARROW_RIGHT] * TRACKS.index(track)))
        wait(f"cursor on {track}", lambda: self.js("return document.getElementById('announce').textContent")
             .startswith(track + " "))

    def seek_bars(self, bars):
        self.focus_timeline()
        self.press(Keys.HOME, *([Keys.PAGE_DOWN] * bars))
        wait(f"play head at bar {bars}", lambda: self.position().startswith(f"{bars}:0:0 "))

    def wait_file(self, what, condition):
        def met():
            data = self.bytes()
            return data if condition(data) else None
        return wait(what, met)

    def write_file(self, data):
        """Saves as a text editor does: a new file renamed over the old one."""
        spare = self.timeline + ".page-test"
        with open(spare, "wb") as f:
            f.write(data)
        os.replace(spare, self.timeline)


def canvas_ink(page, canvas, rgb):
    """How many pixel columns of a canvas hold a colour near rgb: what a person sees as drawn."""
    return page.js("""
        const [c, rgb] = arguments; const g = c.getContext('2d');
        const {width, height} = c; const d = g.getImageData(0, 0, width, height).data; let columns = 0;
        for (let x = 0; x < width; x++) for (let y = 0; y < height; y++) {
          const i = 4 * (y * width + x);
          if (d[i + 3] > 200 && Math.abs(d[i] - rgb[0]) + Math.abs(d[i + 1] - rgb[1]) + Math.abs(d[i + 2] - rgb[2]) < 60) { columns++; break; }
        }
        return columns / width;""", canvas, rgb)


def check_no_token(page):
    bare = urllib.parse.urlunsplit(urllib.parse.urlsplit(page.url)._replace(fragment=""))
    page.d.get(bare)
    wait("the no-token message", lambda: page.d.find_element(By.ID, "no-token").is_displayed())
    assert "token" in page.text("no-token"), page.text("no-token")
    assert not page.d.find_elements(By.CSS_SELECTOR, ".lane"), "lanes shown without a token"
    asked = page.js("return performance.getEntriesByType('resource').map(e => e.name).filter(n => n.includes('/api/'))")
    assert not asked, f"requests without a token: {asked}"


def check_lanes_and_playhead(page):
    page.d.get(page.url)
    page.d.execute_async_script("window.vordelEditor.ready.then(arguments[0])")
    lanes = [e.get_attribute("data-track") for e in page.d.find_elements(By.CSS_SELECTOR, ".lane[data-track]")]
    assert sorted(lanes) == sorted(TRACKS), lanes
    for track in TRACKS:
        ink = canvas_ink(page, page.lane(track).find_element(By.TAG_NAME, "canvas"), (127, 200, 255))
        assert ink > 0.9, f"{track}: a curve across {ink:.0%} of the lane"
        assert page.lane(track).find_elements(By.CSS_SELECTOR, "[data-row]"), f"{track}: no key handles"
    ink = canvas_ink(page, page.d.find_element(By.ID, "wave"), (95, 168, 211))
    assert ink > 0.9, f"the waveform covers {ink:.0%} of its lane"
    assert page.text("load") == "loaded", page.text("load")
    if "playing" not in page.position():
        page.focus_timeline()
        page.press(Keys.SPACE)
    start = page.playhead_x()
    wait("the play head moves while playing", lambda: page.playhead_x() > start + 10)
    page.focus_timeline()
    page.press(Keys.SPACE)
    wait("paused", lambda: "paused" in page.position())
    still = (page.playhead_x(), page.position())
    end = time.monotonic() + 0.5   # watched for half a second: it must not move at all
    while time.monotonic() < end:
        assert (page.playhead_x(), page.position()) == still, "the play head moves while paused"


def check_drag_and_undo(page, picture):
    original = page.bytes()
    before = keys_in(original.decode())
    page.seek_bars(4)
    shown = subprocess.run(picture, shell=True, capture_output=True).stdout if picture else None
    handle = page.handle("clear.g", 128)
    assert handle is not None, "no clear.g key at 4:0"
    ActionChains(page.d).click_and_hold(handle).move_by_offset(0, -4).move_by_offset(0, -8).release().perform()
    after = page.wait_file("the drag written", lambda data: data != original)
    old_lines, new_lines = original.decode().split("\n"), after.decode().split("\n")
    assert len(old_lines) == len(new_lines), "the drag added or removed lines"
    changed = [i for i, (a, b) in enumerate(zip(old_lines, new_lines)) if a != b]
    line = before[("clear.g", 128)][2]
    assert changed == [line], f"lines changed: {changed}, expected only {line}"
    old_words, new_words = old_lines[line].split(), new_lines[line].split()
    differ = [i for i, (a, b) in enumerate(zip(old_words, new_words)) if a != b]
    assert len(old_words) == len(new_words) and differ == [2], f"{old_lines[line]!r} became {new_lines[line]!r}"
    assert float(new_words[2]) > float(old_words[2]), "dragged up, the value went down"
    wait("the page shows the dragged value", lambda: same(page.value("clear.g", 128), float(new_words[2])))
    if picture:
        wait("the demo's picture changes", lambda: subprocess.run(picture, shell=True, capture_output=True).stdout != shown)
    page.focus_timeline()
    ActionChains(page.d).key_down(Keys.CONTROL).send_keys("z").key_up(Keys.CONTROL).perform()
    page.wait_file("undo gives the original bytes", lambda data: data == original)


def check_inspector_interpolation_delete(page):
    original = page.bytes()
    page.cursor_to("fog")
    page.press("1", "2", ":", "0", Keys.ENTER)   # a row typed in the lanes moves the cursor there
    wait("the cursor at 12:0", lambda: page.js("return document.getElementById('announce').textContent")
         .startswith("fog 12:0:0 (row 384): no key"))
    row, value = page.d.find_element(By.ID, "inspector-row"), page.d.find_element(By.ID, "inspector-value")
    # Typed as a person does: into the focused field, over its selected text.
    row.click()
    row.send_keys(Keys.CONTROL, "a")
    row.send_keys("12:2")
    value.click()
    value.send_keys(Keys.CONTROL, "a")
    value.send_keys("0.25", Keys.ENTER)
    wait("a fog key at 12:2", lambda: page.value("fog", 400) is not None)
    key = keys_in(page.bytes().decode()).get(("fog", 400))
    assert key and key[0] == 0.25, f"the file has {key}"
    interp = key[1]
    page.focus_timeline()
    page.press("i")
    following = INTERPOLATIONS[(INTERPOLATIONS.index(interp) + 1) % 4]
    page.wait_file(f"{interp} becomes {following}", lambda data: keys_in(data.decode()).get(("fog", 400), (0, ""))[1] == following)
    wait("the handle shows it", lambda: page.attribute("fog", 400, "data-interp") == following)
    page.press(Keys.DELETE)
    page.wait_file("deleting the key gives the original bytes", lambda data: data == original)
    wait("the handle goes", lambda: page.value("fog", 400) is None)


def check_insert_at_playhead(page):
    original = page.bytes()
    page.seek_bars(7)
    page.cursor_to("cam.x")
    page.press("g")   # the cursor to the play head: the page tells the value the curve has there
    said = wait("the value at the play head", lambda: re.match(r"cam\.x 7:0:0 \(row 224\): no key, value (\S+)$",
                page.js("return document.getElementById('announce').textContent")))
    drawn = float(said[1])
    page.press("k")
    wait("a cam.x key at the play head", lambda: page.value("cam.x", 224) is not None)
    key = keys_in(page.bytes().decode()).get(("cam.x", 224))
    assert key and abs(key[0] - drawn) <= 1e-5 * max(1.0, abs(drawn)), f"inserted {key}, the curve had {drawn}"
    page.press(Keys.DELETE)
    page.wait_file("deleting it gives the original bytes", lambda data: data == original)


def check_text_editor_and_mistake(page):
    original = page.bytes()
    line = keys_in(original.decode())[("clear.b", 128)][2]
    lines = original.decode().split("\n")
    saved = lines[:line] + [re.sub(r"0\.1(\s+hold)", r"0.5\1", lines[line])] + lines[line + 1:]
    begun = time.monotonic()
    page.write_file("\n".join(saved).encode())
    wait("a save from a text editor shows", lambda: same(page.value("clear.b", 128), 0.5))
    print(f"  a text editor's save shown after {1000 * (time.monotonic() - begun):.0f} ms")
    broken = "\n".join(saved).replace("track fog", "track fog\n  0  nonsense  hold", 1)
    page.write_file(broken.encode())
    wait("the mistake shown", lambda: re.match(r"\S*timeline\.txt:\d+: ", page.text("load")))
    assert page.d.find_element(By.ID, "readonly").is_displayed(), "no read-only notice"
    assert same(page.value("clear.b", 128), 0.5), "the last good timeline is not shown"
    assert not page.d.find_element(By.ID, "inspector-value").is_enabled(), "the inspector is editable"
    page.cursor_to("clear.b")
    page.press("0", ".", "7", Keys.ENTER)
    wait("the edit refused as read-only", lambda: "read-only" in page.text("message"))
    assert page.bytes() == broken.encode(), "an edit reached the file while it had a mistake"
    page.write_file(original)
    wait("loaded again", lambda: page.text("load") == "loaded" and not page.d.find_element(By.ID, "readonly").is_displayed())
    wait("the original value back", lambda: same(page.value("clear.b", 128), 0.1))


def api(page, path):
    """An answer of the editor's API, fetched by the page with its own token."""
    return page.d.execute_async_script("""const done = arguments[1];
        fetch(arguments[0], {headers: {Authorization: 'Bearer ' + location.hash.slice(1)}}).then(r => r.json()).then(done);""", path)


def moved_keys(before, after, moves):
    """keys_in of `before` with the keys in `moves` ({(track, row): new row}) moved: value and interpolation kept."""
    want = {}
    for (track, row), key in before.items():
        want[(track, moves.get((track, row), row))] = key[:2]
    return {k: v[:2] for k, v in after.items()} == want


def message(page, pattern):
    return wait(f"the message {pattern!r}", lambda: re.search(pattern, page.text("message")))


def select_keys(page, track, rows):
    """A click on the last key, Shift+click on the others: the cursor ends on the first."""
    ActionChains(page.d).click(page.handle(track, rows[-1])).perform()
    for row in reversed(rows[:-1]):
        ActionChains(page.d).key_down(Keys.SHIFT).click(page.handle(track, row)).key_up(Keys.SHIFT).perform()
    wait("the keys selected", lambda: len(page.d.find_elements(By.CSS_SELECTOR, f'.lane[data-track="{track}"] .key.selected')) == len(rows))


def drag_to_row(page, track, row, target, check_line=None):
    """Drags a key so that the pointer lands at a fractional row; checks the snap line's name on the way."""
    ppr = float(page.js("return getComputedStyle(document.getElementById('content')).getPropertyValue('--ppr')"))
    chain = ActionChains(page.d).click_and_hold(page.handle(track, row)).move_by_offset(2, 0)
    chain.move_by_offset(round((target - row) * ppr) - 2, 0).perform()
    if check_line:
        wait(f"the snap line names {check_line}", lambda: page.text("snap-line") == check_line)
    ActionChains(page.d).release().perform()


def snap_mode(page, mode):
    page.focus_timeline()
    for _ in range(6):
        shown = page.text("snap")
        if shown == f"snap: {mode}":
            return
        page.press("s")
        wait("the next snap mode shown", lambda: page.text("snap") != shown)
    raise Failure(f"snap mode {mode} not reached: {page.text('snap')}")


def check_stretch_and_snap(page):
    original = page.bytes()
    before = keys_in(original.decode())
    page.focus_timeline()
    page.press("1", "3", ":", "0", Keys.ENTER, "z", "z", "z")   # 6 px a row around 13:0
    wait("zoomed in", lambda: float(page.js("return getComputedStyle(document.getElementById('content')).getPropertyValue('--ppr')")) > 5)
    select_keys(page, "scp.a", [416, 420])
    for factor, expect in [("8", r"scp\.a's key at 13:0:4 would land on its key at 14:0:0, which is not selected"), ("2", "stretched by 2")]:
        page.press("x")
        wait("the prompt", lambda: page.d.find_element(By.ID, "tool-prompt-input").is_displayed())
        page.d.find_element(By.ID, "tool-prompt-input").send_keys(factor, Keys.ENTER)
        message(page, expect)
    after = page.wait_file("the stretch written", lambda data: data != original)
    assert moved_keys(before, keys_in(after.decode()), {("scp.a", 420): 424}), "the stretch by 2 moved other keys"
    page.focus_timeline()
    ActionChains(page.d).key_down(Keys.CONTROL).send_keys("z").key_up(Keys.CONTROL).perform()
    page.wait_file("undo gives the original bytes", lambda data: data == original)
    wait("the key back", lambda: page.value("scp.a", 420) is not None)
    snap_mode(page, "beats")
    drag_to_row(page, "scp.a", 420, 423.2, "beat 13:1:0")
    after = page.wait_file("the key snapped to a beat", lambda data: data != original)
    assert moved_keys(before, keys_in(after.decode()), {("scp.a", 420): 424}), "not snapped to 13:1:0"
    page.focus_timeline()
    ActionChains(page.d).key_down(Keys.CONTROL).send_keys("z").key_up(Keys.CONTROL).perform()
    page.wait_file("undo gives the original bytes", lambda data: data == original)
    wait("the key back", lambda: page.value("scp.a", 420) is not None)
    # An onset the pointer misses by 0.7 rows, where the nearest whole row is not the onset's.
    onsets = api(page, "/api/waveform")["onsets"]
    onset = next(o for o in onsets if 424 <= o <= 444 and round(o + 0.7) != round(o)
                 and all(abs(p - o - 0.7) > 0.7 for p in onsets if p != o))
    snap_mode(page, "onsets")
    drag_to_row(page, "scp.a", 420, onset + 0.7)
    after = page.wait_file("the key snapped to an onset", lambda data: data != original)
    assert moved_keys(before, keys_in(after.decode()), {("scp.a", 420): round(onset)}), f"not snapped to the onset at {onset}"
    page.focus_timeline()
    ActionChains(page.d).key_down(Keys.CONTROL).send_keys("z").key_up(Keys.CONTROL).perform()
    page.wait_file("undo gives the original bytes", lambda data: data == original)
    snap_mode(page, "rows")
    page.press("f")


def check_insert_remove_time(page):
    original = page.bytes()
    page.cursor_to("fog")
    page.press("1", "2", ":", "0", Keys.ENTER, "b")
    message(page, r"would push \S+ key at 34:2:0 past the music's end")
    assert page.bytes() == original, "a refused insertion wrote"
    # Room at the end: the keys of the last bar go, as a text editor would save it.
    rows = api(page, "/api/timeline")["rows"]
    roomy = "\n".join(line for line in original.decode().split("\n")
                      if (rows_of(line.split()[0]) if line.split() else None) is None
                      or rows_of(line.split()[0]) + 32 < rows).encode()
    page.write_file(roomy)
    wait("the roomy timeline shown", lambda: page.value("fade.a", 1104) is None)
    before = keys_in(roomy.decode())
    page.focus_timeline()
    page.press("b")
    after = page.wait_file("a bar inserted", lambda data: data != roomy)
    assert moved_keys(before, keys_in(after.decode()), {k: k[1] + 32 for k in before if k[1] >= 384}), "not every later key moved a bar"
    wait("the page shows it", lambda: page.value("scene", 416) is not None)
    page.press("B")
    # Every key back where it was, with its value and interpolation. Not the bytes: the server
    # writes a moved key's line anew at its row, so comment lines between keys can change sides.
    page.wait_file("the bar removed gives every key back", lambda data: moved_keys(before, keys_in(data.decode()), {}))
    page.write_file(original)
    wait("the original shown", lambda: page.value("fade.a", 1104) is not None)


def check_lane_height_and_focus(page):
    page.cursor_to("fog")
    page.press("h")
    wait("the fog lane twice as tall", lambda: page.lane("fog").rect["height"] == 60)
    grip = page.lane("fog").find_element(By.CLASS_NAME, "lane-grip")
    ActionChains(page.d).click_and_hold(grip).move_by_offset(0, 20).move_by_offset(0, 20).release().perform()
    wait("the fog lane 40 px taller", lambda: page.lane("fog").rect["height"] == 100)
    page.press("v")
    wait("the focused view", lambda: page.d.find_element(By.ID, "focus-row").is_displayed())
    ticks = page.d.find_elements(By.CSS_SELECTOR, "#focus-axis .tick")
    values, tops = [float(t.text) for t in ticks], [t.rect["y"] for t in ticks]
    steps = {round(b - a, 9) for a, b in zip(values, values[1:])}
    assert len(values) >= 4 and len(steps) == 1 and tops == sorted(tops, reverse=True), f"ticks {values} at {tops}"
    ink = canvas_ink(page, page.d.find_element(By.ID, "focus-canvas"), (127, 200, 255))
    assert ink > 0.9, f"the focused curve across {ink:.0%} of the view"
    page.press("v", "H")
    wait("the focused view closed, the lane shorter", lambda: not page.d.find_element(By.ID, "focus-row").is_displayed()
         and page.lane("fog").rect["height"] == 50)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("url", nargs="?", default=os.environ.get("VORDEL_EDITOR_URL"))
    parser.add_argument("timeline", nargs="?", default=os.environ.get("VORDEL_TIMELINE"))
    parser.add_argument("--picture", help="shell command printing a checksum of the demo's picture")
    a = parser.parse_args()
    page = Page(a.url, a.timeline) if a.url and a.timeline else parser.error("the editor's URL and the timeline are needed")
    checks = [("no token: a clear message and no data", lambda: check_no_token(page)),
              ("twenty lanes, the waveform, the play head", lambda: check_lanes_and_playhead(page)),
              ("drag a key of a multi-track line, undo", lambda: check_drag_and_undo(page, a.picture)),
              ("inspector, interpolation, delete", lambda: check_inspector_interpolation_delete(page)),
              ("insert at the play head", lambda: check_insert_at_playhead(page)),
              ("a text editor's save, a mistake, its fix", lambda: check_text_editor_and_mistake(page)),
              ("stretch, snap to a beat and to an onset", lambda: check_stretch_and_snap(page)),
              ("insert and remove a bar", lambda: check_insert_remove_time(page)),
              ("a taller lane, the focused view", lambda: check_lane_height_and_focus(page))]
    failed = 0
    try:
        for name, check in checks:
            try:
                check()
                print(f"ok: {name}")
            except Exception as e:   # a browser's error fails the check like a failed assertion
                failed += 1
                print(f"FAIL: {name}: {type(e).__name__}: {str(e).splitlines()[0] if str(e) else ''}")
                print("  page:", page.js("const t = (id) => document.getElementById(id) && document.getElementById(id).textContent;"
                                     "return [t('load'), t('message'), t('announce'), document.activeElement.id,"
                                     "document.getElementById('inspector-value').value]"))
                break   # the later checks start from the state this one leaves
    finally:
        page.d.quit()
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
