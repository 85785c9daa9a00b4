#!/usr/bin/python3
"""analyse-capture's flash count (its path the argument) on made-up grey frames of 100 pixels at 20 fps:
the most flashes in any one second, by the rule's numbers; then its onsets on made-up clicks and where
it finds the final fade's start."""
import importlib.machinery
import sys
import types

import numpy as np

analyse = types.ModuleType("analyse_capture")
importlib.machinery.SourceFileLoader("analyse_capture", sys.argv[1]).exec_module(analyse)


def toggling(every, low, high, area=100, opposite=0):
    """The first `area` pixels swap between grey levels `low` and `high` every `every` frames, the next
    `opposite` pixels the other way round, the rest stay black."""
    for n in range(60):
        a, b = (high, low) if n // every % 2 else (low, high)
        yield [a] * area + [b] * opposite + [0] * (100 - area - opposite)


CASES = [  # sRGB grey levels: 84 is 0.089 in relative luminance, 240 is 0.871
    ("black and white every 3 frames: 7 changes in a second", toggling(3, 0, 255), 3.5),
    ("black and white every 5 frames: 4 changes", toggling(5, 0, 255), 2.0),
    ("on a quarter of the screen", toggling(3, 0, 255, area=25), 3.5),
    ("on less than a quarter", toggling(3, 0, 255, area=24), 0.0),
    ("two halves in turn: the mean stays put, each pixel flashes", toggling(3, 0, 255, 50, 50), 3.5),
    ("a change of less than 0.1", toggling(3, 0, 84), 0.0),
    ("both states at 0.8 or brighter", toggling(3, 240, 255), 0.0),
    ("a fade up and down within a second: one flash", ([min(n, 20 - n) * 25] * 100 for n in range(21)), 1.0),
]
failed = 0
for name, frames, expected in CASES:
    counter = analyse.FlashCounter(20)
    for levels in frames:
        counter.add(np.array(levels, np.uint8).reshape(10, 10, 1).repeat(3, axis=2))
    if max(counter.per_window) != expected:
        failed += 1
        print("%s: %g, expected %g; per second: %s" % (name, max(counter.per_window), expected, counter.per_window))
# Noise bursts over silence: each found within 10 ms, ranked by loudness; the final fade starts where
# fade.a last begins to rise, not at a held value or an earlier key of the same level.
burst = 0.5 * np.random.default_rng(1).standard_normal(441) * np.exp(-np.arange(441) / 100.0)
sound, starts = np.zeros(3 * 44100), [100 * 256, 300 * 256, 450 * 256]  # all as far into a hop
for start, gain in zip(starts, [0.2, 1.6, 0.6]):
    sound[start:start + 441] += gain * burst
marks = sorted(analyse.onsets(sound, 44100), key=lambda m: -m[1])
FADES = [([(0, 1, 2), (32, 0, 0), (1056, 0, 2), (1104, 1, 0)], 1056), ([(1000, 0, 0), (1104, 1, 0)], 1104),
         ([(1000, 0, 1), (1050, 0.5, 2), (1104, 1, 0)], 1000), ([(1000, 0.5, 0), (1050, 0.5, 1), (1104, 1, 0)], 1050)]
for name, ok in [("onsets %s" % marks, len(marks) == 3 and all(
                  abs(t - starts[i] / 44100.0) < 0.01 for (t, _), i in zip(marks, [1, 2, 0])))] + \
        [("final fade of %s: %s" % (keys, analyse.final_fade_start(keys)), analyse.final_fade_start(keys) == row)
         for keys, row in FADES]:
    CASES.append(name)
    failed += 0 if ok else print(name) or 1
print("%d passed, %d failed" % (len(CASES) - failed, failed))
sys.exit(1 if failed else 0)
