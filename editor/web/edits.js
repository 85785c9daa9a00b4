// The page's edits in order. An action (a key, a drag, the inspector's Apply, a paste, a
// double-click) is built against the newest model, the page's own, and shown at once; the next
// action builds on that. The server then writes the edits one at a time, each naming the version
// that the answer to the one before gave, so a text editor's save in between is caught (409).
// A refused edit takes back itself and every edit built on it: the page shows the server's model
// again and says what was not written.
//
// This file is plain logic on the page's state and never talks to the server: main.js sends,
// takes the answers and fetches models. Limits: one edit in flight at a time; an undo or a redo
// (a "step") runs once every edit before it is answered; while a step or a rollback waits for the
// server's model ("held"), later actions and steps wait and go on, in order, once it is shown.
// The server's versions only grow, so a model older than the last answer is stale and dropped, and
// so is any model fetched while edits are unanswered: their answers lead to a newer one.

import { installModel, makeTrack, say, trackValue } from './model.js';

export function createEdits() {
  return {
    version: null,      // the version the next edit names: the last answer's or the last model's
    confirmed: null,    // the server's model with every answered edit applied
    pending: [],        // [{what, ops, done}]: shown, not yet answered; the first is in flight when sending
    sending: false,
    waiting: [],        // [{what, build, done} or {step}]: what comes after a hold, in order
    holds: 1,           // the first model is the first hold
    step: null,         // the undo or redo to run once the edits before it are answered
  };
}

// Applies ops as the server does (all or none) to a copy of a model; the tracks they change get
// new keys and samples, the others are shared. Answers {model} or {error} with the server's words.
export function applyOps(model, ops) {
  const keysOf = new Map();
  const keys = (name) => {
    if (!keysOf.has(name)) keysOf.set(name, model.byName.get(name).keys.slice());
    return keysOf.get(name);
  };
  for (const [i, op] of ops.entries()) {
    const fail = (why) => ({ error: `edit ${i}: ${why}` });
    if (!model.byName.has(op.track)) return fail(`unknown track "${op.track}"`);
    const list = keys(op.track);
    const rows = op.op === 'move' ? [op.from, op.to] : [op.row];
    const outside = rows.find((r) => !Number.isInteger(r) || r < 0 || r >= model.rows);
    if (outside !== undefined) return fail(`row ${outside} is outside 0..${model.rows - 1}`);
    const at = (row) => list.findIndex((k) => k.row === row);
    const found = at(rows[0]);
    if (op.op !== 'set' && found < 0) return fail(`track ${op.track} has no key at row ${rows[0]}`);
    if (op.op === 'delete') list.splice(found, 1);
    else if (op.op === 'move') {
      if (op.to === op.from) continue;
      if (at(op.to) >= 0) return fail(`track ${op.track} already has a key at row ${op.to}`);
      const [key] = list.splice(found, 1);
      insertKey(list, { ...key, row: op.to });
    } else if (op.op === 'set') {
      const value = Math.fround(op.value);   // the key holds a single-precision value
      if (!Number.isFinite(value)) return fail('"value" is beyond single precision');
      if (found < 0 && !op.interp) return fail(`track ${op.track} has no key at row ${op.row}, so a new key there needs an interpolation`);
      if (found >= 0) list[found] = { row: op.row, value, interp: op.interp || list[found].interp };
      else insertKey(list, { row: op.row, value, interp: op.interp });
    } else return fail(`unknown op "${op.op}"`);
  }
  const tracks = model.tracks.map((t) => {
    const changed = keysOf.get(t.name);
    if (!changed) return t;
    const samples = new Float64Array(model.rows);
    for (let r = 0; r < samples.length; r++) samples[r] = Math.fround(trackValue(changed, r));
    return makeTrack(t.name, t.section, changed, samples, t);
  });
  return { model: { ...model, tracks, byName: new Map(tracks.map((t) => [t.name, t])) } };
}

function insertKey(list, key) {
  const at = list.findIndex((k) => k.row > key.row);
  list.splice(at < 0 ? list.length : at, 0, key);
}

// One action: `build(state)` answers the ops (or null for nothing to do) against the newest model,
// now or, while a hold lasts, once it ends. `what` is the message for the person, or a function of
// the ops that makes it. `done(written)` is called once the server answered, or at once when
// there is nothing to write.
export function act(state, what, build, done = () => {}) {
  const q = state.edits;
  if (q.holds > 0) {
    q.waiting.push({ what, build, done });
    return;
  }
  const ops = build(state);
  if (!ops || !ops.length) return done(false);
  const applied = applyOps(state.timeline, ops);
  if (applied.error) {
    installModel(state, state.timeline);   // whatever the builder selected that is not there goes
    say(state, applied.error, 'error');
    return done(false);
  }
  installModel(state, applied.model);
  q.pending.push({ what: typeof what === 'function' ? what(ops) : what, ops, done });
}

// The edit to send now, or null (one is in flight, or none is pending).
export function nextToSend(state) {
  const q = state.edits;
  if (q.sending || !q.pending.length) return null;
  q.sending = true;
  return { version: q.version, ops: q.pending[0].ops, what: q.pending[0].what };
}

// The server's answer to the edit in flight: written as `version`, or refused. A refusal drops it
// and every edit after it, shows the last confirmed model and holds new actions until the server's
// model is shown (release). Answers the edits that were not written, in order.
export function answered(state, written, version) {
  const q = state.edits;
  q.sending = false;
  const edit = q.pending.shift();
  if (written) {
    q.version = version;
    q.confirmed = applyOps(q.confirmed, edit.ops).model || q.confirmed;
    edit.done(true);
    return [];
  }
  const dropped = [edit, ...q.pending];
  q.pending = [];
  q.holds++;
  // Told apart from what is shown, not from what it was made from: the lanes the dropped edits
  // touched are drawn again.
  const tracks = q.confirmed.tracks.map((t) => makeTrack(t.name, t.section, t.keys, t.samples, state.timeline.byName.get(t.name)));
  installModel(state, { ...q.confirmed, tracks, byName: new Map(tracks.map((t) => [t.name, t])) });
  for (const e of dropped) e.done(false);
  return dropped;
}

// An undo or a redo, in order with the actions: it holds what comes after it until the server's
// model after it is shown (release), since only that model says what it changed.
export function history(state, step) {
  const q = state.edits;
  if (q.holds > 0) q.waiting.push({ step });
  else {
    q.holds++;
    q.step = step;
  }
}

// The undo or redo to run now, or null: none, or edits before it still unanswered.
export function nextStep(state) {
  const q = state.edits;
  if (!q.step || q.sending || q.pending.length) return null;
  const step = q.step;
  q.step = null;
  return step;
}

// A model the server sent (`json` its answer). Shown when no edit is in flight and it is not older
// than the last answer; answers whether it was.
export function takeServerModel(state, model, json) {
  const q = state.edits;
  if (q.pending.length || (q.version !== null && model.version < q.version)) return false;
  q.version = model.version;
  q.confirmed = model;
  installModel(state, model, json);
  return true;
}

// Ends a hold; the last one builds the actions that waited, in order, against the model now shown,
// up to the next step that waited.
export function release(state) {
  const q = state.edits;
  q.holds = Math.max(0, q.holds - 1);
  while (q.holds === 0 && q.waiting.length) {
    const w = q.waiting.shift();
    if (w.step) history(state, w.step);
    else act(state, w.what, w.build, w.done);
  }
}
