#!/usr/bin/python3
"""Figures of the editor page in headless Chromium, against a running `vordel --edit`.

    editor_page_benchmark.py URL [--seconds S] [--loads N] [--label TEXT]

URL is the editor's address with its token. Prints: how long after navigation the page is ready
(model and waveform drawn), the page's own work per animation frame while the demo plays with every
lane shown, the preview round trip during a drag (a drag reaches the demo's picture one demo frame
after its preview is answered), and the delay from a new version to the frame that shows it.
The drag writes one edit and undoes it: point it at a copy of the timeline, not at the bundled one.
"""
import argparse
import os
import statistics
import sys
import time

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "editor"))
from page_test import headless_chromium  # noqa: E402


def browser():
    return headless_chromium()


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(p / 100 * len(ordered)))] if ordered else float("nan")


def wait(condition, limit=10.0):
    end = time.monotonic() + limit
    while not condition():
        if time.monotonic() > end:
            raise SystemExit("editor_page_benchmark: the page did not answer in time")
        time.sleep(0.02)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("url")
    parser.add_argument("--seconds", type=float, default=5.0, help="how long to watch the demo play")
    parser.add_argument("--loads", type=int, default=5, help="how many times to load the page")
    parser.add_argument("--label", default="timeline")
    a = parser.parse_args()
    d = browser()
    try:
        ready = []
        for _ in range(a.loads):
            d.get("about:blank")
            d.get(a.url)
            ready.append(d.execute_async_script("window.vordelEditor.ready.then(arguments[0])"))
        keys = d.execute_script("return document.querySelectorAll('.key').length")
        lanes = d.execute_script("return document.querySelectorAll('.lane[data-track]').length")
        print(f"{a.label}: {lanes} lanes, {keys} keys")
        print(f"  page ready after load: median {statistics.median(ready):.0f} ms, worst {max(ready):.0f} ms ({a.loads} loads)")

        timeline = d.find_element(By.ID, "timeline")
        position = lambda: d.find_element(By.ID, "position").text
        if "playing" not in position():
            timeline.send_keys(Keys.SPACE)
            wait(lambda: "playing" in position())
        d.execute_script("window.vordelEditor.resetStats()")
        time.sleep(a.seconds)   # the figure is over this span of playing, not a wait for readiness
        stats = d.execute_script("return window.vordelEditor.stats()")
        work = stats["frames"]
        print(f"  frame work while playing: p50 {percentile(work, 50):.2f} ms, p95 {percentile(work, 95):.2f} ms, "
              f"max {max(work):.2f} ms over {len(work)} frames ({len(work) / a.seconds:.0f} frames/s)")
        gaps = stats["gaps"]
        print(f"  time between frames (the browser's whole frame): p50 {percentile(gaps, 50):.1f} ms, "
              f"p95 {percentile(gaps, 95):.1f} ms")

        timeline.send_keys(Keys.SPACE)
        wait(lambda: "paused" in position())
        handles = d.find_elements(By.CSS_SELECTOR, '.lane[data-track="clear.r"] .key')
        handle = handles[len(handles) // 2]
        d.execute_script("window.vordelEditor.resetStats()")
        drag = ActionChains(d).click_and_hold(handle)
        for _ in range(30):
            drag.move_by_offset(0, -1).pause(0.016)
        drag.release().perform()
        wait(lambda: d.execute_script("return window.vordelEditor.stats().reloads.length") > 0, 30.0)
        stats = d.execute_script("return window.vordelEditor.stats()")
        fps = float(d.find_element(By.ID, "demo").text.split("·")[1].split()[0] or 60)
        trips = stats["previews"]
        print(f"  preview round trip while dragging: median {statistics.median(trips):.1f} ms, "
              f"worst {max(trips):.1f} ms ({len(trips)} previews); drag to the demo's frame ≈ "
              f"{statistics.median(trips) + 1000 / max(fps, 1):.1f} ms median at {fps:.0f} fps")
        print(f"  new version to the frame that shows it: {statistics.median(stats['reloads']):.1f} ms")
        ActionChains(d).key_down(Keys.CONTROL).send_keys("z").key_up(Keys.CONTROL).perform()
        wait(lambda: d.find_element(By.ID, "message").text == "undone")
    finally:
        d.quit()


if __name__ == "__main__":
    main()
