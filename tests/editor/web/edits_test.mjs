// The page's edits in order: ops applied as the server applies them, actions built on what the one
// before made, answers taken in order, a refusal taking back what was built on it.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { act, answered, applyOps, createEdits, hold, nextToSend, release, takeServerModel } from '../../../editor/web/edits.js';
import { createState, modelFromJson } from '../../../editor/web/model.js';

// Two tracks of 16 rows; a: hold 1 at 0, linear 3 at 8; b: linear 0 at 4.
function serverJson(version, a = [[0, 1, 'hold'], [8, 3, 'linear']]) {
  const track = (name, keys, samples) => ({ name, section: 0, keys: keys.map(([row, value, interp]) => ({ row, value, interp })), samples });
  return { version, rows: 16, load: { ok: true, message: 'loaded' }, editable: true, sections: [{ tracks: ['a', 'b'], comment: '' }],
    tracks: [track('a', a, new Array(16).fill(1)), track('b', [[4, 0, 'linear']], new Array(16).fill(0))] };
}

function page(version = 7) {
  const state = createState('t');
  state.edits = createEdits();
  takeServerModel(state, modelFromJson(serverJson(version), null), serverJson(version));
  release(state);
  return state;
}

const keysOf = (state, name) => state.timeline.byName.get(name).keys.map((k) => [k.row, k.value, k.interp]);

test('ops apply to a copy as the server applies them, all or none', () => {
  const base = page().timeline;
  const cases = [
    [[{ op: 'set', track: 'a', row: 4, value: 0.1, interp: 'smooth' }], [[0, 1, 'hold'], [4, Math.fround(0.1), 'smooth'], [8, 3, 'linear']]],
    [[{ op: 'set', track: 'a', row: 8, value: 5 }], [[0, 1, 'hold'], [8, 5, 'linear']]],
    [[{ op: 'move', track: 'a', from: 8, to: 2 }, { op: 'set', track: 'a', row: 2, value: 2, interp: 'ramp' }], [[0, 1, 'hold'], [2, 2, 'ramp']]],
    [[{ op: 'delete', track: 'a', row: 0 }], [[8, 3, 'linear']]],
    [[{ op: 'delete', track: 'a', row: 0 }, { op: 'delete', track: 'a', row: 0 }], 'edit 1: track a has no key at row 0'],
    [[{ op: 'move', track: 'a', from: 0, to: 8 }], 'edit 0: track a already has a key at row 8'],
    [[{ op: 'set', track: 'a', row: 16, value: 1, interp: 'hold' }], 'edit 0: row 16 is outside 0..15'],
    [[{ op: 'set', track: 'a', row: 3, value: 1 }], 'edit 0: track a has no key at row 3, so a new key there needs an interpolation'],
    [[{ op: 'set', track: 'a', row: 0, value: 1e39 }], 'edit 0: "value" is beyond single precision'],
    [[{ op: 'delete', track: 'c', row: 0 }], 'edit 0: unknown track "c"'],
  ];
  for (const [ops, expected] of cases) {
    const result = applyOps(base, ops);
    if (typeof expected === 'string') assert.equal(result.error, expected);
    else assert.deepEqual(result.model.byName.get('a').keys.map((k) => [k.row, k.value, k.interp]), expected, JSON.stringify(ops));
    assert.deepEqual(keysOf({ timeline: base }, 'a'), [[0, 1, 'hold'], [8, 3, 'linear']], 'the model applied to is kept');
  }
  const moved = applyOps(base, [{ op: 'move', track: 'a', from: 8, to: 4 }]).model;
  assert.deepEqual(Array.from(moved.byName.get('a').samples.slice(0, 6)), [1, 1, 1, 1, 3, 3], 'samples follow the keys');
  assert.equal(moved.byName.get('b'), base.byName.get('b'), 'an untouched track is shared');
});

// Presses `i` on the key at a row of track a: the next interpolation of what the model has then.
const cycle = (state, row) => act(state, 'cycle', (s) => {
  const key = s.timeline.byName.get('a').keys.find((k) => k.row === row);
  const next = { hold: 'linear', linear: 'smooth', smooth: 'ramp', ramp: 'hold' }[key.interp];
  return [{ op: 'set', track: 'a', row, value: key.value, interp: next }];
});

test('actions build on the one before, and go to the server in order, each naming the last answer', () => {
  const state = page(7);
  cycle(state, 0);
  act(state, 'drag', () => [{ op: 'move', track: 'a', from: 0, to: 2 }]);
  cycle(state, 2);
  act(state, 'nothing to do', () => null);
  assert.deepEqual(keysOf(state, 'a'), [[2, 1, 'smooth'], [8, 3, 'linear']], 'shown at once');
  const sent = [];
  for (let version = 8; ; version++) {
    const next = nextToSend(state);
    if (!next) break;
    assert.equal(nextToSend(state), null, 'one in flight');
    sent.push([next.version, next.ops]);
    answered(state, true, version);
  }
  assert.deepEqual(sent, [
    [7, [{ op: 'set', track: 'a', row: 0, value: 1, interp: 'linear' }]],
    [8, [{ op: 'move', track: 'a', from: 0, to: 2 }]],
    [9, [{ op: 'set', track: 'a', row: 2, value: 1, interp: 'smooth' }]],
  ]);
  const stale = modelFromJson(serverJson(9), state.timeline);
  assert.equal(takeServerModel(state, stale, serverJson(9)), false, 'a model older than the last answer is dropped');
});

test('a refusal takes back the edit and what was built on it; actions wait for the server model', () => {
  const state = page(7);
  const written = [];
  act(state, 'first', () => [{ op: 'set', track: 'b', row: 4, value: 2 }], (w) => written.push(['first', w]));
  act(state, 'second', () => [{ op: 'delete', track: 'a', row: 8 }], (w) => written.push(['second', w]));
  act(state, 'third', () => [{ op: 'delete', track: 'a', row: 0 }], (w) => written.push(['third', w]));
  nextToSend(state);
  answered(state, true, 8);
  nextToSend(state);
  const dropped = answered(state, false);
  assert.deepEqual(dropped.map((e) => e.what), ['second', 'third']);
  assert.deepEqual(written, [['first', true], ['second', false], ['third', false]]);
  assert.deepEqual(keysOf(state, 'a'), [[0, 1, 'hold'], [8, 3, 'linear']], 'back to what the server confirmed');
  assert.deepEqual(keysOf(state, 'b'), [[4, 2, 'linear']], 'the answered edit stays');
  cycle(state, 8);   // pressed while the server's model is on its way: waits for it
  assert.equal(nextToSend(state), null);
  const text = serverJson(12, [[0, 1, 'hold'], [8, 3, 'ramp']]);   // a text editor's save in between
  assert.equal(takeServerModel(state, modelFromJson(text, state.timeline), text), true);
  release(state);
  assert.deepEqual(nextToSend(state), { version: 12, what: 'cycle', ops: [{ op: 'set', track: 'a', row: 8, value: 3, interp: 'hold' }] });
});

test('an undo waits for the edits before it and holds the ones after it', () => {
  const state = page(7);
  cycle(state, 0);
  hold(state);   // the undo
  cycle(state, 0);
  assert.deepEqual(keysOf(state, 'a')[0], [0, 1, 'linear'], 'only the first is shown');
  nextToSend(state);
  answered(state, true, 8);
  const undone = serverJson(9);
  takeServerModel(state, modelFromJson(undone, state.timeline), undone);
  release(state);
  assert.deepEqual(nextToSend(state).ops, [{ op: 'set', track: 'a', row: 0, value: 1, interp: 'linear' }], 'built on the undone model');
});
