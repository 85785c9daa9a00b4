// The pure parts of the page's tools: snapping, stretching, inserting and removing time, the
// focused view's value axis. Each table row is a case a person meets; the expectations are worked
// out by hand, not by the code under test.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { snapRow } from '../../../editor/web/snap.js';
import { orderMoves, parseFactor, stretchPlan } from '../../../editor/web/stretch.js';
import { insertTimePlan, parseLength, removeTimePlan } from '../../../editor/web/timeshift.js';
import { fitValues, valueTicks } from '../../../editor/web/curve_view.js';

const keys = [{ row: 40, track: 'fog' }, { row: 100, track: 'cam.x' }];
const onsets = [63.9, 130.2];

test('snapping lands on the target of each mode, within reach', () => {
  // [mode, row, whole, pixels per row, expected row, expected name]
  const cases = [
    ['off', 44.3, false, 4, 44.3, null],
    ['off', 44.3, true, 4, 44, null],
    ['rows', 44.6, false, 4, 45, 'row 1:1:5'],
    ['beats', 44.6, true, 4, 48, 'beat 1:2:0'],
    ['bars', 44.6, true, 4, 32, 'bar 1'],
    ['keys', 42, true, 4, 40, 'key of fog at 1:1:0'],   // 2 rows = 8 px: within reach
    ['keys', 43, true, 4, 43, null],                    // 12 px: too far, a whole row
    ['onsets', 62.5, true, 4, 64, 'onset at 2:0:0'],
    ['onsets', 62.5, false, 4, 63.9, 'onset at 1:3:7'],
    ['onsets', 125, true, 1, 130, 'onset at 4:0:2'],    // 5.2 rows = 5 px at 1 px a row
    ['beats', 1109, true, 1, 1109, 'beat 34:2:5'],      // the last row, not past the end
  ];
  for (const [mode, row, whole, pxPerRow, want, name] of cases) {
    const got = snapRow(row, { mode, whole, pxPerRow, rows: 1110, keys, onsets });
    assert.deepEqual(got, { row: want, name }, `${mode} ${row}`);
  }
});

const timeline = (tracks, rows = 200) => ({ rows, tracks, byName: new Map(tracks.map((t) => [t.name, t])) });
const track = (name, ...rows) => ({ name, keys: rows.map((row) => ({ row, value: 0, interp: 'hold' })) });

test('a factor and a length are read as typed', () => {
  for (const [text, f] of [['2', 2], ['0.5', 0.5], ['3/4', 0.75], [' 1.5 ', 1.5], ['0', null], ['-2', null], ['2/0', null], ['x', null]]) {
    assert.equal(parseFactor(text), f, text);
  }
  for (const [text, n] of [['1:0', 32], ['0:1', 8], ['0:0:3', 3], ['12', 12], ['0', null], ['1:4', null]]) {
    assert.equal(parseLength(text), n, text);
  }
});

test('stretching moves keys in a safe order, or refuses naming the key', () => {
  const tl = timeline([track('fog', 10, 12, 20, 30), track('cam.x', 16)]);
  const sel = (...ids) => ids.map(([t, row]) => ({ track: t, row }));
  assert.deepEqual(stretchPlan(tl, sel(['fog', 10], ['fog', 12], ['cam.x', 16]), 10, 2).ops, [
    { op: 'move', track: 'cam.x', from: 16, to: 22 }, { op: 'move', track: 'fog', from: 12, to: 14 }]);
  assert.deepEqual(stretchPlan(tl, sel(['fog', 20], ['fog', 30]), 40, 0.5).ops, [
    { op: 'move', track: 'fog', from: 30, to: 35 }, { op: 'move', track: 'fog', from: 20, to: 30 }]);
  const refusals = [
    [sel(['fog', 10], ['fog', 12]), 0, 0.1, /fog's keys at 0:1:2 and 0:1:4 would land on one row \(0:0:1\)/],
    [sel(['fog', 10], ['fog', 12]), 10, 5, /fog's key at 0:1:4 would land on its key at 0:2:4, which is not selected/],
    [sel(['fog', 30]), 0, 10, /fog's key at 0:3:6 would land outside the music \(row 300\)/],
  ];
  for (const [keysOf, pivot, factor, message] of refusals) assert.match(stretchPlan(tl, keysOf, pivot, factor).error, message);
});

test('time inserted or removed at a row moves every later key, deletes the span, refuses the end', () => {
  const tl = timeline([track('fog', 4, 40, 72), track('scene', 50)]);
  assert.deepEqual(insertTimePlan(tl, 40, 32).ops.map((o) => `${o.track} ${o.from}>${o.to}`),
    ['fog 72>104', 'scene 50>82', 'fog 40>72']);
  const removed = removeTimePlan(tl, 40, 32);
  assert.deepEqual([removed.deleted, removed.ops.map((o) => o.op === 'delete' ? `${o.track} x${o.row}` : `${o.track} ${o.from}>${o.to}`)],
    [2, ['fog x40', 'scene x50', 'fog 72>40']]);
  assert.match(insertTimePlan(tl, 0, 128).error, /push fog's key at 2:1:0 past the music's end/);
  assert.match(removeTimePlan(tl, 190, 32).error, /reaches past the music's end/);
  assert.deepEqual(orderMoves([{ track: 'a', from: 1, to: 2 }, { track: 'a', from: 2, to: 3 }]).map((o) => o.from), [2, 1]);
});

test('the value axis has round ticks inside its window', () => {
  assert.deepEqual(valueTicks(0, 1, 6), [0, 0.2, 0.4, 0.6, 0.8, 1]);
  assert.deepEqual(valueTicks(-3.1, 11.5, 6), [-2, 0, 2, 4, 6, 8, 10]);
  assert.deepEqual(valueTicks(0.021, 0.0335, 6), [0.022, 0.024, 0.026, 0.028, 0.03, 0.032]);
  assert.deepEqual(fitValues([2, 2]), { lo: 1.5, hi: 2.5 });
  assert.deepEqual(fitValues([0, 10]), { lo: -0.8, hi: 10.8 });
});
