// The page's edits in order: applied as the server applies them, each built on the one before, sent one at a time.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { act, answered, applyOps, createEdits, history, nextStep, nextToSend, release, takeServerModel } from '../../../editor/web/edits.js';
import { createState, modelFromJson } from '../../../editor/web/model.js';

// 16 rows; track a: hold 1 at 0, linear 3 at 8 (or `a`); track b: linear 0 at 4.
const json = (version, a = [[0, 1, 'hold'], [8, 3, 'linear']]) => ({ version, rows: 16, load: { ok: true }, tracks: [['a', a], ['b', [[4, 0, 'linear']]]]
  .map(([name, keys]) => ({ name, keys: keys.map(([row, value, interp]) => ({ row, value, interp })), samples: new Array(16).fill(0) })) });
const serve = (state, j) => takeServerModel(state, modelFromJson(j, state.timeline), j);
const keysOf = (model, name = 'a') => model.byName.get(name).keys.map((k) => [k.row, k.value, k.interp]);
const set = (track, row, value, interp) => ({ op: 'set', track, row, value, interp });
const page = (state = Object.assign(createState('t'), { edits: createEdits() })) => (serve(state, json(7)), release(state), state);
// `i` on track a's key at a row: the next interpolation of what the model has when its turn comes.
const cycle = (state, row) => act(state, 'i', (s) => {
  const key = s.timeline.byName.get('a').keys.find((k) => k.row === row);
  return [set('a', row, key.value, { hold: 'linear', linear: 'smooth', smooth: 'ramp' }[key.interp])];
});

test('ops apply to a copy as the server applies them, all or none', () => {
  const base = page().timeline;
  for (const [ops, expected] of [
    [[set('a', 4, 0.1, 'smooth')], [[0, 1, 'hold'], [4, Math.fround(0.1), 'smooth'], [8, 3, 'linear']]],
    [[set('a', 8, 5)], [[0, 1, 'hold'], [8, 5, 'linear']]],
    [[{ op: 'move', track: 'a', from: 8, to: 2 }, set('a', 2, 2, 'ramp')], [[0, 1, 'hold'], [2, 2, 'ramp']]],
    [[{ op: 'delete', track: 'a', row: 0 }, { op: 'delete', track: 'a', row: 0 }], 'edit 1: track a has no key at row 0'],
    [[{ op: 'move', track: 'a', from: 0, to: 8 }], 'edit 0: track a already has a key at row 8'],
    [[set('a', 16, 1, 'hold')], 'edit 0: row 16 is outside 0..15'],
    [[set('a', 3, 1)], 'edit 0: track a has no key at row 3, so a new key there needs an interpolation'],
    [[set('a', 0, 1e39)], 'edit 0: "value" is beyond single precision'],
  ]) {
    const result = applyOps(base, ops);
    assert.deepEqual(typeof expected === 'string' ? result.error : keysOf(result.model), expected, JSON.stringify(ops));
    assert.deepEqual(keysOf(base), [[0, 1, 'hold'], [8, 3, 'linear']], 'the model applied to stays');
  }
  const moved = applyOps(base, [{ op: 'move', track: 'a', from: 8, to: 4 }]).model;   // samples follow; b is shared
  assert.deepEqual([Array.from(moved.byName.get('a').samples.slice(2, 6)), moved.byName.get('b') === base.byName.get('b')], [[1, 1, 3, 3], true]);
});

test('actions build on the one before, go out one at a time naming the last answer; a refusal takes back the rest', () => {
  const state = page();
  let written;
  cycle(state, 0);
  act(state, 'drag', () => [{ op: 'move', track: 'a', from: 0, to: 2 }]);
  cycle(state, 2);
  act(state, 'b', () => [set('b', 4, 2)], (w) => { written = w; });
  assert.deepEqual(keysOf(state.timeline), [[2, 1, 'smooth'], [8, 3, 'linear']], 'shown at once');
  const sent = [8, 9, 10].map((version) => {
    const next = nextToSend(state);
    assert.equal(nextToSend(state), null, 'one in flight');
    return answered(state, true, version) && [next.version, next.ops[0].op, next.ops[0].interp];
  });
  assert.deepEqual(sent, [[7, 'set', 'linear'], [8, 'move', undefined], [9, 'set', 'smooth']]);
  assert.equal(serve(state, json(9)), false, 'a model older than the last answer is dropped');
  act(state, 'a8', () => [{ op: 'delete', track: 'a', row: 8 }]);
  nextToSend(state);
  assert.deepEqual([answered(state, false).map((e) => e.what), written], [['b', 'a8'], false]);
  assert.deepEqual(keysOf(state.timeline), [[2, 1, 'smooth'], [8, 3, 'linear']], 'back to what the server confirmed');
  cycle(state, 8);   // while the server's model is on its way (a text editor saved meanwhile),
  history(state, 'undo');
  cycle(state, 8);
  assert.equal(nextToSend(state) || nextStep(state), null, 'all three wait');
  serve(state, json(12, [[0, 1, 'hold'], [8, 3, 'hold']]));
  release(state);
  assert.deepEqual([keysOf(state.timeline)[1], nextStep(state)], [[8, 3, 'linear'], null], 'the first built, the undo after it');
  answered(state, true, nextToSend(state).version + 1);
  assert.equal(nextStep(state), 'undo');
  serve(state, json(14, [[8, 3, 'smooth']]));
  release(state);
  assert.deepEqual([keysOf(state.timeline), nextToSend(state).version], [[[8, 3, 'ramp']], 14], 'the last built on the undone model');
});

test('an answer of what changed since a version takes the tracks that stayed from that version, else none', () => {
  const base = modelFromJson(json(7), null);
  const delta = { ...json(8, [[0, 2, 'hold']]), since: 7 };
  delta.tracks[1] = { name: 'b', same: true };
  const model = modelFromJson(delta, base, base);
  assert.deepEqual([keysOf(model), keysOf(model, 'b'), model.byName.get('b').revision], [[[0, 2, 'hold']], [[4, 0, 'linear']], base.byName.get('b').revision]);
  assert.equal(model.byName.get('b').samples, base.byName.get('b').samples);
  assert.equal(modelFromJson({ ...delta, since: 6 }, base, base), null);
});
