#!/usr/bin/python3
"""Figures of the editor page in headless Chromium, against a running `vordel --edit`.

    editor_page_benchmark.py URL TIMELINE [--pid PID] [--seconds S] [--loads N] [--label TEXT]

URL is the editor's address with its token, TIMELINE the file it edits, PID the program (for its
resident memory). Prints: how long after navigation the page is ready (model and waveform drawn)
and where that time went (the API answers' waits for their headers); `fetch('/api/timeline')` from
the page to its headers; a text editor's save to the page's frame that shows it; the page's own
work per animation frame while the demo plays; `z` (zoom), five wheel notches and a drag, each to
the frame that shows it; the preview round trip during the drag; and the program's resident memory
before the page and after it closed. editor_page_benchmark.sh runs it on the bundled timeline and on
a 10,000-key one. The drag writes one edit and undoes it, and the saves append comments: point it
at a copy of the timeline, not at the bundled one.
"""
import argparse
import os
import re
import statistics
import sys
import time

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "editor"))
from page_test import headless_chromium  # noqa: E402

# Runs in the page: the time from dispatching the input (`act`) until the frame after it has been
# drawn, styled, laid out and painted (a task queued from that frame's animation callback runs after
# its rendering).
TO_FRAME = """
const done = arguments[arguments.length - 1];
const t = performance.now();
(new Function(arguments[0]))();
requestAnimationFrame(() => setTimeout(() => done(performance.now() - t)));
"""
KEY = "document.getElementById('timeline').dispatchEvent(new KeyboardEvent('keydown', {key: '%s', bubbles: true}));"
WHEEL = """const c = document.querySelector('.lane[data-track="cam.x"] canvas'), r = c.getBoundingClientRect();
for (let i = 0; i < 5; i++) c.dispatchEvent(new WheelEvent('wheel', {deltaY: %d, clientX: r.left + r.width / 4,
  clientY: r.top + r.height / 2, bubbles: true, cancelable: true}));"""


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(p / 100 * len(ordered)))] if ordered else float("nan")


def spread(values, unit="ms"):
    return (f"median {statistics.median(values):.1f} {unit}, p95 {percentile(values, 95):.1f} {unit}, "
            f"worst {max(values):.1f} {unit} ({len(values)})")


def wait(condition, limit=30.0):
    end = time.monotonic() + limit
    while not condition():
        if time.monotonic() > end:
            raise SystemExit("editor_page_benchmark: the page did not answer in time")
        time.sleep(0.01)


def resident_mb(pid):
    return int(re.search(r"VmRSS:\s+(\d+)", open(f"/proc/{pid}/status").read()).group(1)) / 1024


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("url")
    parser.add_argument("timeline")
    parser.add_argument("--pid", type=int)
    parser.add_argument("--seconds", type=float, default=3.0, help="how long to watch the demo play")
    parser.add_argument("--loads", type=int, default=5, help="how many times to load the page")
    parser.add_argument("--label", default="timeline")
    a = parser.parse_args()
    before_mb = resident_mb(a.pid) if a.pid else None
    d = headless_chromium()
    js = d.execute_script
    try:
        ready, waits = [], {"timeline": [], "waveform": [], "page": []}
        for _ in range(a.loads):
            d.get("about:blank")
            d.get(a.url)
            ready.append(d.execute_async_script("window.vordelEditor.ready.then(arguments[0])"))
            for entry in js("return performance.getEntriesByType('resource').map((e) => [e.name, e.responseStart - e.startTime])"):
                name = entry[0].split("/")[-1]
                waits[name if name in waits else "page"].append(entry[1])
        keys = js("return window.vordelEditor.stats().keys")
        print(f"{a.label}: {keys} keys")
        print(f"  page ready after navigation: {spread(ready)}")
        for name, figures in waits.items():
            if figures:
                print(f"    the load's {name} requests, start to headers: {spread(figures)}")
        fetches = [d.execute_async_script("""const done = arguments[0], t = performance.now();
            fetch('/api/timeline', {headers: {Authorization: 'Bearer ' + location.hash.slice(1)}, cache: 'no-store'})
              .then((r) => { const h = performance.now() - t; return r.arrayBuffer().then(() => done(h)); });""")
                   for _ in range(20)]
        print(f"  fetch('/api/timeline') from the page to its headers: {spread(fetches)}")

        saves = []
        js("window.vordelEditor.resetStats()")
        for i in range(10):
            shown = len(js("return window.vordelEditor.stats().shown"))
            with open(a.timeline, "a") as f:
                written = time.time() * 1000
                f.write(f"# a save {i}\n")
            wait(lambda: len(js("return window.vordelEditor.stats().shown")) > shown)
            saves.append(js("return window.vordelEditor.stats().shown").pop() - written)
        print(f"  a text editor's save to the frame that shows it: {spread(saves)}")
        print(f"    of which the event that reports it to that frame: {spread(js('return window.vordelEditor.stats().reloads'))}")

        timeline = d.find_element(By.ID, "timeline")
        position = lambda: d.find_element(By.ID, "position").text
        if "playing" not in position():
            timeline.send_keys(Keys.SPACE)
            wait(lambda: "playing" in position())
        js("window.vordelEditor.resetStats()")
        time.sleep(a.seconds)   # the figure is over this span of playing, not a wait for readiness
        stats = js("return window.vordelEditor.stats()")
        print(f"  frame work while playing: {spread(stats['frames'])}")
        print(f"  time between frames (the browser's whole frame): {spread(stats['gaps'])}")
        timeline.send_keys(Keys.SPACE)
        wait(lambda: "paused" in position())

        zooms, wheels = [], []
        for _ in range(5):
            d.execute_async_script(TO_FRAME, KEY % "f")
            zooms.append(d.execute_async_script(TO_FRAME, KEY % "z"))
        for _ in range(5):
            d.execute_async_script(TO_FRAME, KEY % "f")
            wheels.append(d.execute_async_script(TO_FRAME, WHEEL % -100))
        d.execute_async_script(TO_FRAME, KEY % "f")
        print(f"  z (zoom in) to its frame: {spread(zooms)}")
        print(f"  five wheel notches to their frame: {spread(wheels)}")

        x, y = js("return window.vordelEditor.keyCentre('clear.r')")
        js("window.vordelEditor.resetStats()")
        drag = ActionBuilder(d)
        drag.pointer_action.move_to_location(round(x), round(y)).pointer_down()
        for i in range(30):
            drag.pointer_action.move_to_location(round(x), round(y) - i - 1).pause(0.016)
        drag.pointer_action.pointer_up()
        drag.perform()
        wait(lambda: js("return window.vordelEditor.stats().reloads.length") > 0)
        stats = js("return window.vordelEditor.stats()")
        print(f"  drag, pointer move to the frame that shows it: {spread(stats['moves'])}")
        print(f"  preview round trip while dragging: {spread(stats['previews'])}")
        print(f"  new version to the frame that shows it: {spread(stats['reloads'])}")
        ActionChains(d).key_down(Keys.CONTROL).send_keys("z").key_up(Keys.CONTROL).perform()
        wait(lambda: d.find_element(By.ID, "message").text == "undone")
    finally:
        d.quit()
    if a.pid:
        time.sleep(2)   # the page's connections linger up to a second after it closed
        print(f"  resident memory: {before_mb:.1f} MB before the page, {resident_mb(a.pid):.1f} MB after it closed "
              "(its saves, edit and undo are kept in the history and the recent versions)")


if __name__ == "__main__":
    main()
