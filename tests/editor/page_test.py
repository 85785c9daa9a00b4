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
from selenium.webdriver.common.actions.wheel_input import ScrollOrigin
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

TRACKS = ["scene", "clear.r", "clear.g", "clear.b", "fade.r", "fade.g", "fade.b", "fade.a", "cam.x", "cam.y",
          "cam.z", "cam.lookx", "cam.looky", "cam.lookz", "scp.a", "scp.b", "scp.c", "fog", "text.i", "text.fade"]
INTERPOLATIONS = ["hold", "linear", "smooth", "ramp"]
LIMIT_S = 30.0   # a wait gives up only on a hang: a busy machine can take seconds for a step


class Failure(Exception):
    pass


def wait(what, condition, limit=LIMIT_S):
    """`what` may be a function: it then says, once the wait gave up, what was seen."""
    end = time.monotonic() + limit
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure(f"not within {limit} s: {what() if callable(what) else what}")
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

    def value(self, track, row):
        """A key handle's value, read in one step: handles are replaced when the timeline reloads."""
        shown = self.js(f"const e = document.querySelector('.lane[data-track=\"{track}\"] [data-row=\"{row}\"]'); return e && e.dataset.value")
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
    lanes = page.js("return [...document.querySelectorAll('.lane[data-track]')].map((l) => [l.dataset.track, l.querySelector('canvas')])")
    assert sorted(track for track, _ in lanes) == sorted(TRACKS), lanes
    for track, canvas in lanes:
        ink = canvas_ink(page, canvas, (127, 200, 255))
        assert ink > 0.9, f"{track}: a curve across {ink:.0%} of the lane"
    bare = "return [...document.querySelectorAll('.lane')].filter((l) => !l.querySelector('[data-row]')).map((l) => l.dataset.track)"
    wait(lambda: f"key handles in {page.js(bare)}", lambda: not page.js(bare))
    past = page.js("const r = (l, s) => l.querySelector(s).getBoundingClientRect(); return [...document.querySelectorAll('.lane')]"
                   ".filter((l) => r(l, '.key:last-child').left + 6 > r(l, '.plot').right).map((l) => l.dataset.track)")
    assert not past, f"fitted to a width wider than the lanes': the last key of {past} out of sight"
    assert "faces -z" in page.d.find_element(By.CSS_SELECTOR, '.group-head[title^="Camera"]').get_attribute("title"), "a comment cut"
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
    undo_to(page, original)


def check_text_editor_and_mistake(page):
    original = page.bytes()
    value, _, line = keys_in(original.decode())[("clear.b", 128)][:3]
    edited = 0.25 if same(value, 0.5) else 0.5
    lines = original.decode().split("\n")
    # clear.b is the section's last value, just before the interpolation.
    saved = lines[:line] + [re.sub(r"\S+(\s+[a-z]+\s*(#.*)?)$", rf"{edited}\1", lines[line])] + lines[line + 1:]
    begun = time.monotonic()
    page.write_file("\n".join(saved).encode())
    wait("a save from a text editor shows", lambda: same(page.value("clear.b", 128), edited))
    print(f"  a text editor's save shown after {1000 * (time.monotonic() - begun):.0f} ms")
    broken = "\n".join(saved).replace("track fog", "track fog\n  0  nonsense  hold", 1)
    page.write_file(broken.encode())
    wait("the mistake shown", lambda: re.match(r"\S*timeline\.txt:\d+: ", page.text("load")))
    assert page.d.find_element(By.ID, "readonly").is_displayed(), "no read-only notice"
    assert same(page.value("clear.b", 128), edited), "the last good timeline is not shown"
    assert not page.d.find_element(By.ID, "inspector-value").is_enabled(), "the inspector is editable"
    page.cursor_to("clear.b")
    page.press("0", ".", "7", Keys.ENTER)
    wait("the edit refused as read-only", lambda: "read-only" in page.text("message"))
    assert page.bytes() == broken.encode(), "an edit reached the file while it had a mistake"
    page.write_file(original)
    wait("loaded again", lambda: page.text("load") == "loaded" and not page.d.find_element(By.ID, "readonly").is_displayed())
    wait("the original value back", lambda: same(page.value("clear.b", 128), value))


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


def undo_to(page, original):
    page.focus_timeline()
    ActionChains(page.d).key_down(Keys.CONTROL).send_keys("z").key_up(Keys.CONTROL).perform()
    page.wait_file("undo gives the original bytes", lambda data: data == original)


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
    page.press("f", "1", "3", ":", "0", Keys.ENTER, "z", "z", "z")   # from the fit, 6 px a row around 13:0
    wait("zoomed in", lambda: float(page.js("return getComputedStyle(document.getElementById('content')).getPropertyValue('--ppr')")) > 5)
    select_keys(page, "scp.a", [416, 420])
    for factor, expect in [("8", r"scp\.a's key at 13:0:4 would land on its key at 14:0:0, which is not selected"), ("2", "stretched by 2")]:
        page.press("x")
        wait("the prompt", lambda: page.d.find_element(By.ID, "tool-prompt-input").is_displayed())
        page.d.find_element(By.ID, "tool-prompt-input").send_keys(factor, Keys.ENTER)
        message(page, expect)
    after = page.wait_file("the stretch written", lambda data: data != original)
    assert moved_keys(before, keys_in(after.decode()), {("scp.a", 420): 424}), "the stretch by 2 moved other keys"
    undo_to(page, original)
    wait("the key back", lambda: page.value("scp.a", 420) is not None)
    # The selection's last edge, dragged 4 rows on from 420 around the cursor at 416: twice as long.
    select_keys(page, "scp.a", [416, 420])
    ppr = float(page.js("return getComputedStyle(document.getElementById('content')).getPropertyValue('--ppr')"))
    edge = page.d.find_element(By.ID, "stretch-last")
    ActionChains(page.d).click_and_hold(edge).move_by_offset(2, 0).move_by_offset(round(4 * ppr) - 2, 0).release().perform()
    after = page.wait_file("the edge's stretch written", lambda data: data != original)
    assert moved_keys(before, keys_in(after.decode()), {("scp.a", 420): 424}), "the edge drag did not stretch by 2"
    undo_to(page, original)
    wait("the key back", lambda: page.value("scp.a", 420) is not None)
    snap_mode(page, "beats")
    drag_to_row(page, "scp.a", 420, 423.2, "beat 13:1:0")
    after = page.wait_file("the key snapped to a beat", lambda data: data != original)
    assert moved_keys(before, keys_in(after.decode()), {("scp.a", 420): 424}), "not snapped to 13:1:0"
    undo_to(page, original)
    wait("the key back", lambda: page.value("scp.a", 420) is not None)
    # An onset the pointer misses by 0.7 rows, where the nearest whole row is not the onset's.
    onsets = api(page, "/api/waveform")["onsets"]
    onset = next(o for o in onsets if 424 <= o <= 444 and round(o + 0.7) != round(o)
                 and all(abs(p - o - 0.7) > 0.7 for p in onsets if p != o))
    snap_mode(page, "onsets")
    drag_to_row(page, "scp.a", 420, onset + 0.7)
    after = page.wait_file("the key snapped to an onset", lambda data: data != original)
    assert moved_keys(before, keys_in(after.decode()), {("scp.a", 420): round(onset)}), f"not snapped to the onset at {onset}"
    undo_to(page, original)
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
    # Ctrl+wheel zooms the values in (finer ticks), Alt+wheel pans them (other ticks, the same step).
    def axis():
        shown = [float(t.text) for t in page.d.find_elements(By.CSS_SELECTOR, "#focus-axis .tick")]
        return shown, round(shown[1] - shown[0], 9)
    origin = ScrollOrigin.from_element(page.d.find_element(By.ID, "focus-canvas"))
    for key, wanted in [(Keys.CONTROL, lambda now: now[1] < axis_before[1]), (Keys.ALT, lambda now: now[1] == axis_before[1] and now[0] != axis_before[0])]:
        axis_before = axis()
        ActionChains(page.d).key_down(key).scroll_from_origin(origin, 0, -1000).key_up(key).perform()
        wait(lambda: f"the value axis after a wheel with {key!r}: {axis()}", lambda: wanted(axis()))
    page.press("v", "H")
    wait("the focused view closed, the lane shorter", lambda: not page.d.find_element(By.ID, "focus-row").is_displayed()
         and page.lane("fog").rect["height"] == 50)


def check_crowded_lane(page):
    """300 fog keys 2 rows apart: its lane draws them; a hover reads out the key nearest, the cursor's key has a handle (last: it stays)."""
    crowded = "".join(f"  {r}  0.{r % 5}  linear\n" for r in range(0, 600, 2))
    page.write_file(re.sub(r"(?s)(?<=track fog\n).*?(?=track text\.i)", crowded, page.bytes().decode()).encode())
    page.cursor_to("fog")
    page.press("6:1:6", Keys.ENTER, "f", "z", "z")   # 3.6 px a row around row 206
    wait("the cursor's key has a handle", lambda: page.handle("fog", 206) and not page.handle("fog", 212))
    x, y = page.js("arguments[0].scrollIntoView({block: 'center'}); return window.vordelEditor.keyCentre('fog', 106)", page.lane("fog"))
    body = page.d.find_element(By.TAG_NAME, "body")   # row 212's key, pointed at 3 px before its centre
    ActionChains(page.d).move_to_element_with_offset(body, x - 3 - body.size["width"] / 2, y - body.size["height"] / 2).perform()
    wait(lambda: f"the drawn key's readout: {page.text('tooltip')}", lambda: page.text("tooltip") == "fog · row 212 · 6:2:4 · 0.2")
    page.press(Keys.ARROW_DOWN, Keys.ARROW_DOWN)
    wait("the handle follows the cursor", lambda: page.handle("fog", 208) and not page.handle("fog", 206))


def center(page, track, row):
    return page.js(f"const r = document.querySelector('.lane[data-track=\"{track}\"] [data-row=\"{row}\"]').getBoundingClientRect();"
                   "return [r.left + r.width / 2, r.top + r.height / 2]")


def expect_keys(page, what, before, changes):
    """Waits for the file's keys to be `before` with `changes` ((value, interp), None: gone), exactly."""
    want = {k: v for k, v in {**before, **changes}.items() if v}
    got = lambda: {k: v[:2] for k, v in keys_in(page.bytes().decode()).items()}
    wait(lambda: f"{what}: the file differs at {sorted(set(got().items()) ^ set(want.items()))}", lambda: got() == want)


def check_fast_hands(page):
    """Twenty keys and drags as fast as they can be sent; the keys after a button, the inspector, a folded
    lane. Zoomed in: a box of keys pasted, a click on the ruler and `k`, a double-click, a fine drag."""
    original = page.bytes()
    before = {k: v[:2] for k, v in keys_in(original.decode()).items()}
    at = int(re.search(r"\(row (\d+)\)", page.position())[1])   # where Ctrl+V pastes
    ActionChains(page.d).click(page.handle("text.i", 384)).perform()
    # At fit zoom clear.g's handles at 416 and 422 overlap: pressed nearer 416's centre, 416 is taken.
    # With Ctrl and Shift it moves a beat back in time, a beat being 8/6 of the way between them.
    (x0, y0), (x1, y1) = center(page, "clear.g", 416), center(page, "clear.g", 422)
    chain, shift, ctrl, beat = ActionChains(page.d), Keys.SHIFT, Keys.CONTROL, (x1 - x0) * 8 / 6
    chain.send_keys("ii").key_down(shift).send_keys(Keys.ARROW_DOWN).key_up(shift).send_keys("2.5", Keys.ENTER, "i")
    chain.key_down(shift).send_keys(Keys.ARROW_UP).key_up(shift).send_keys(Keys.DELETE)
    chain.move_to_element_with_offset(page.handle("clear.g", 416), 0.4 * (x1 - x0), 0.4 * (y1 - y0)).click_and_hold()
    chain.key_down(ctrl).key_down(shift).move_by_offset(-beat / 2, 0).move_by_offset(-beat / 2, 0).release().key_up(shift)
    chain.key_up(ctrl).send_keys("i0.3", Keys.ENTER).key_down(ctrl).send_keys("cv").key_up(ctrl).send_keys("i")
    chain.key_down(ctrl).send_keys("z").key_up(ctrl).perform()
    burst = {("text.i", 384): None, ("text.i", 392): (2.5, "ramp"), ("clear.g", 416): None, ("clear.g", 408): (0.3, "smooth"),
             ("clear.g", at): (0.3, "smooth")}
    expect_keys(page, "twenty quick keys and drags", before, burst)
    page.d.find_element(By.ID, "to-start").click()   # and Enter sets the value, not the button again
    page.press("0.33333334", Keys.ENTER, Keys.ENTER)
    wait("the inspector on the key", lambda: page.d.find_element(By.ID, "inspector-value").get_attribute("value") == "0.33333334")
    page.d.find_element(By.ID, "inspector-row").send_keys(Keys.CONTROL, "a", Keys.NULL, "12:3:4")   # the value stays exact
    page.d.find_element(By.ID, "inspector-interp").send_keys("r")   # ramp
    page.press(Keys.ESCAPE)
    page.d.find_element(By.CSS_SELECTOR, '.group-head[title^="Clear"]').click()   # folded; Space plays and pauses
    page.press(Keys.SPACE, Keys.SPACE, "0.3", Keys.ENTER)
    changes = {**burst, ("clear.g", 408): None, ("clear.g", 412): (0.33333334, "ramp"), ("fade.r", 412): (0.3, "hold")}
    expect_keys(page, "the value exact, a key on the lane after the folded ones", before, changes)
    assert " 0.33333334 " in page.bytes().decode() and page.js("return !document.querySelector('[data-track=\"clear.g\"]').offsetParent"), "rounded, or unfolded"
    page.d.find_element(By.CSS_SELECTOR, '.group-head[title^="Clear"]').click()
    page.seek_bars(7)
    page.cursor_to("scene")
    page.press("20:0", Keys.ENTER, "zz")
    def zoomed():   # where row 640 is, and how wide a row is
        a, b = center(page, "scene", 640)[0], center(page, "scene", 648)[0]
        return b - a > 20 and (a, (b - a) / 8)
    x, row_px = wait("zoomed in", zoomed)
    lane, body = page.lane("scene").rect, page.d.find_element(By.TAG_NAME, "body")
    to = lambda chain, x, y, size=body.size: chain.move_to_element_with_offset(body, x - size["width"] / 2, y - size["height"] / 2)
    box = to(ActionChains(page.d), x - 2 * row_px, lane["y"] + 2).click_and_hold()
    to(box, x + 78 * row_px, lane["y"] + lane["height"] - 2).release().key_down(ctrl).send_keys("cv").key_up(ctrl).perform()
    pasted = {("scene", 224 + r - 640): before[("scene", r)] for r in range(640, 718) if ("scene", r) in before}
    expect_keys(page, "12 keys pasted at the play head", before, {**changes, **pasted})
    wait("exactly the pasted keys shown selected", lambda: len(page.d.find_elements(By.CSS_SELECTOR, ".key.selected")) == len(pasted) == 12
         and page.text("inspector-title") == "12 keys selected")
    # Half a row past 620 on the ruler, `k`; half a row past 640 on fog's lane, a double-click.
    to(ActionChains(page.d), x - 19.5 * row_px, page.d.find_element(By.ID, "ruler").rect["y"] + 4).click().send_keys("k").perform()
    to(ActionChains(page.d), x + row_px / 2, page.lane("fog").rect["y"] + 15).double_click().perform()
    expect_keys(page, "keys where the ruler and the double-click were", before,
                {**changes, **pasted, ("scene", 620): (1.0, "hold"), ("fog", 640): (0.0, "hold")})
    assert "(row 620)" in page.position(), page.position()
    # With Alt a drag goes a tenth as far; the tooltip reads where the key would land.
    to(ActionChains(page.d), *center(page, "fog", 640)).click_and_hold().key_down(Keys.ALT).move_by_offset(0, -10).move_by_offset(0, -10).perform()
    said = wait("the drag's readout", lambda: re.fullmatch(r"fog · row 640 · 20:0:0 · (\S+)", page.text("tooltip")))
    ActionChains(page.d).release().key_up(Keys.ALT).perform()
    assert 0 < float(said[1]) < 0.6 / 5, f"20 px up with Alt in a lane of 0 to 0.6 gave {said[1]}"
    wait("the dragged value written", lambda: same(keys_in(page.bytes().decode())[("fog", 640)][0], float(said[1])))
    page.write_file(original)
    wait("the original back", lambda: page.value("fog", 640) is None)


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
              ("a text editor's save, a mistake, its fix", lambda: check_text_editor_and_mistake(page)),
              ("fast hands: a burst of keys and drags, buttons, the inspector, folds, paste, ruler, fine drags",
               lambda: check_fast_hands(page)),
              ("stretch, snap to a beat and to an onset", lambda: check_stretch_and_snap(page)),
              ("insert and remove a bar", lambda: check_insert_remove_time(page)),
              ("a taller lane, the focused view", lambda: check_lane_height_and_focus(page)),
              ("a crowded lane: hover and cursor on drawn keys", lambda: check_crowded_lane(page))]
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
