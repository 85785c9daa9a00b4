// Keyboard and mouse. Every handler turns an event into a change of the state (cursor, selection,
// view, a drag in progress) or into a request through the app (an action, transport); none of them
// draws. An action's ops are made by a function of the state that app.act calls when the action's
// turn comes, so a key pressed right after another acts on what the one before made. The keys are
// listed in the README's editor section and in the page's help line.

import {
  INTERPOLATIONS, ROWS_PER_BAR, ROWS_PER_BEAT, findKey, fitAll, formatRow, formatValue, interpolationAt, keyId,
  keepCursorShown, parseRow, parseValue, say, splitKeyId, targetIds, targetKeys, visibleTracks, wholeRow,
  isEditable,
} from './model.js';
import { handleCentre, keyNear, rowAtX, xOfRow } from './lanes.js';
import { playheadRow } from './transport.js';

const MAX_PX_PER_ROW = 64;
const DRAG_THRESHOLD_PX = 3;
const RULER_SEEK_SHARE = 0.6;   // the ruler's upper part seeks and scrubs, the lower part pans
const FINE_RATE = 0.1;          // a drag with Alt moves keys a tenth as far as the pointer
const GRAB_PX = 8;              // handles whose centre is this close to the pointer compete for a grab

// ---- the view: which rows the lanes show

function clampStart(state) {
  const visible = state.view.width / state.view.pxPerRow;
  const rows = state.timeline.rows;
  state.view.start = Math.max(-visible * 0.05, Math.min(state.view.start, Math.max(0, rows - visible * 0.95)));
}

export function zoomAround(state, row, factor) {
  const minPx = state.view.width / state.timeline.rows;
  const ppr = Math.max(minPx, Math.min(MAX_PX_PER_ROW, state.view.pxPerRow * factor));
  state.view.start = row - ((row - state.view.start) * state.view.pxPerRow) / ppr;
  state.view.fitted = state.view.fitted && ppr === state.view.pxPerRow;
  state.view.pxPerRow = ppr;
  clampStart(state);
  state.gen.view++;
}

export function panBy(state, rows) {
  const start = state.view.start;
  state.view.start += rows;
  clampStart(state);
  state.view.fitted = state.view.fitted && state.view.start === start;
  state.gen.view++;
}

export function ensureVisible(state, row) {
  const visible = state.view.width / state.view.pxPerRow;
  const x = xOfRow(state, row);
  if (x >= 0 && x < state.view.width - 4) return;
  state.view.start = row - visible * 0.25;
  clampStart(state);
  state.gen.view++;
}

function moveCursor(state, track, row) {
  const rows = state.timeline.rows;
  if (track !== state.cursor.track || row !== state.cursor.row) state.gen.cursor++;
  state.cursor.track = track;
  state.cursor.row = Math.max(0, Math.min(rows - 1, wholeRow(row)));
  ensureVisible(state, state.cursor.row);
}

function select(state, ids, additive) {
  if (!additive) state.selection.clear();
  for (const id of ids) {
    if (additive && state.selection.has(id)) state.selection.delete(id);
    else state.selection.add(id);
  }
  state.gen.selection++;
}

// ---- edits the keys ask for
// What a key means is read when it is pressed (the cursor, the selection, the play head); the ops
// are made when the action's turn comes, from the keys the model then has. Cursor and selection
// move at once, so the next key acts where this one left them.

export function setKeyOps(track, row, value, interp) {
  return [{ op: 'set', track: track.name, row, value, interp }];
}

const addedAt = (ops) => `key added to ${ops[0].track} at ${formatRow(ops[0].row)}`;

function addKey(app, name, row) {
  app.act(addedAt, (state) => {
    const track = state.timeline.byName.get(name);
    if (findKey(track, row)) return say(state, `${name} already has a key at ${formatRow(row)}`, 'warn');
    // The value the track already has there: the curve does not jump.
    return setKeyOps(track, row, track.samples[row], interpolationAt(track.keys, row));
  });
}

function insertAtPlayhead(app) {
  const { state } = app;
  const row = Math.max(0, Math.min(state.timeline.rows - 1, wholeRow(playheadRow(state, performance.now()))));
  select(state, [], false);
  moveCursor(state, state.cursor.track, row);
  addKey(app, state.cursor.track, row);
}

function setAtCursor(app, value) {
  const { track: name, row } = app.state.cursor;
  select(app.state, [], false);
  app.act(`${name} at ${formatRow(row)} set to ${formatValue(value)}`, (state) => {
    const track = state.timeline.byName.get(name);
    const key = findKey(track, row);
    return setKeyOps(track, row, value, key ? key.interp : interpolationAt(track.keys, row));
  });
}

function cycleInterpolation(app) {
  const ids = targetIds(app.state);
  app.act((ops) => ops.length === 1 ? `${ops[0].track} at ${formatRow(ops[0].row)} is now ${ops[0].interp}` : `${ops.length} keys cycled`, (state) => {
    const keys = targetKeys(state, ids);
    if (!keys.length) return say(state, 'no key here: select a key or put the cursor on one', 'warn');
    const next = (i) => INTERPOLATIONS[(INTERPOLATIONS.indexOf(i) + 1) % INTERPOLATIONS.length];
    return keys.map((k) => ({ op: 'set', track: k.track, row: k.row, value: k.value, interp: next(k.interp) }));
  });
}

function deleteKeys(app) {
  const ids = targetIds(app.state);
  select(app.state, [], false);
  app.act((ops) => ops.length === 1 ? `key deleted from ${ops[0].track} at ${formatRow(ops[0].row)}` : `${ops.length} keys deleted`, (state) => {
    const keys = targetKeys(state, ids);
    if (!keys.length) return say(state, 'no key here to delete', 'warn');
    return keys.map((k) => ({ op: 'delete', track: k.track, row: k.row }));
  });
}

function copyKeys(state) {
  state.clipboard = targetKeys(state);
  say(state, state.clipboard.length ? `${state.clipboard.length} key(s) copied` : 'nothing to copy', state.clipboard.length ? 'info' : 'warn');
}

function pasteKeys(app) {
  const { state } = app;
  const keys = state.clipboard;
  if (!keys.length) return say(state, 'nothing copied yet', 'warn');
  const hidden = keys.find((k) => !visibleTracks(state).includes(k.track));
  if (hidden) return say(state, `${hidden.track} is folded: unfold its section to paste there`, 'warn');
  const first = Math.min(...keys.map((k) => k.row));
  const at = wholeRow(playheadRow(state, performance.now()));
  const ops = keys.map((k) => ({ op: 'set', track: k.track, row: at + k.row - first, value: k.value, interp: k.interp }));
  if (ops.some((o) => o.row >= state.timeline.rows)) return say(state, 'the keys would land past the end of the music', 'error');
  // The pasted keys are the selection, and nothing else is: now, and again once they exist.
  const ids = ops.map((o) => keyId(o.track, o.row));
  select(state, ids, false);
  app.act(`${ops.length} key(s) pasted at ${formatRow(at)}`, (s) => {
    select(s, ids, false);
    return ops;
  });
}

// The ops that put dragged keys where they were dropped. Keys of one track move in the order that
// never lands one on another that is still to move.
export function dragOps(keys) {
  const moved = keys.filter((k) => k.newRow !== k.row || k.newValue !== k.value);
  const forward = moved.length && moved[0].newRow > moved[0].row;
  moved.sort((a, b) => (forward ? b.row - a.row : a.row - b.row));
  const ops = [];
  for (const k of moved) {
    if (k.newRow !== k.row) ops.push({ op: 'move', track: k.track, from: k.row, to: k.newRow });
    if (k.newValue !== k.value) ops.push({ op: 'set', track: k.track, row: k.newRow, value: k.newValue, interp: k.interp });
  }
  return ops;
}

// A dragged value keeps about four significant digits of its lane's range: 0.42, not 0.41999.
function roundToLane(track, value) {
  const step = Math.pow(10, Math.floor(Math.log10(track.hi - track.lo)) - 3);
  return Number((Math.round(value / step) * step).toPrecision(12));
}

// ---- keyboard

function onKey(app, e) {
  const { state, transport } = app;
  const target = e.target;
  if (target.closest && target.closest('input, select, textarea')) return;
  if (target.closest && target.closest('button:not(.key)') && (e.key === ' ' || e.key === 'Enter')) return;
  if (!state.timeline) return;
  const ctrl = e.ctrlKey || e.metaKey;
  const lanes = visibleTracks(state);
  const laneIndex = Math.max(0, lanes.indexOf(state.cursor.track));
  let handled = true;
  const k = e.key;
  // The keyboard acts on the key under the cursor: a selection made with the mouse ends when the
  // cursor moves on, so the inspector and Delete never act on keys out of sight.
  if (k.startsWith('Arrow') && !ctrl && state.selection.size) select(state, [], false);
  if (ctrl && (k === 'z' || k === 'Z')) e.shiftKey ? app.redo() : app.undo();
  else if (ctrl && (k === 'y' || k === 'Y')) app.redo();
  else if (ctrl && (k === 'c' || k === 'C')) copyKeys(state);
  else if (ctrl && (k === 'v' || k === 'V')) pasteKeys(app);
  else if (ctrl && (k === 'a' || k === 'A')) {
    const track = state.timeline.byName.get(state.cursor.track);
    select(state, track.keys.map((key) => keyId(track.name, key.row)), false);
  } else if (k === 'ArrowUp' || k === 'ArrowDown') {
    const step = e.ctrlKey || e.altKey ? ROWS_PER_BAR : e.shiftKey ? ROWS_PER_BEAT : 1;
    moveCursor(state, state.cursor.track, state.cursor.row + (k === 'ArrowUp' ? -step : step));
  } else if (k === 'ArrowLeft' || k === 'ArrowRight') {
    const next = lanes[Math.max(0, Math.min(lanes.length - 1, laneIndex + (k === 'ArrowLeft' ? -1 : 1)))];
    if (next) moveCursor(state, next, state.cursor.row);
  } else if (ctrl) handled = false;
  else if (/^[0-9.:-]$/.test(k)) {
    state.entry += k;
    state.gen.message++;
  } else if (k === 'Backspace' && state.entry) {
    state.entry = state.entry.slice(0, -1);
    state.gen.message++;
  } else if (k === 'Enter' && state.entry) {
    const entry = state.entry;
    state.entry = '';
    state.gen.message++;
    if (entry.includes(':')) {
      const row = parseRow(entry);
      if (row === null || row >= state.timeline.rows) say(state, `"${entry}" is not a row of the music`, 'error');
      else moveCursor(state, state.cursor.track, row);
    } else {
      const value = parseValue(entry);
      if (value === null) say(state, `"${entry}" is not a number`, 'error');
      else setAtCursor(app, value);
    }
  } else if (k === 'Enter') app.focusInspector();
  else if (k === 'Escape') {
    state.entry = '';
    if (state.drag) { state.drag = null; app.preview([]); }
    state.selection.clear();
    state.gen.selection++;
    state.gen.drag++;
    state.gen.message++;
  } else if (k === 'Delete' || k === 'Backspace') deleteKeys(app);
  else if (k === 'i') cycleInterpolation(app);
  else if (k === 'k' || k === 'Insert') insertAtPlayhead(app);
  else if (k === ' ') transport.toggle();
  else if (k === 'Home') transport.start();
  else if (k === 'PageUp' || k === 'PageDown') {
    const unit = e.shiftKey ? ROWS_PER_BEAT : ROWS_PER_BAR;
    transport.step(k === 'PageUp' ? -unit : unit);
  } else if (k === '[') transport.markFirst();
  else if (k === ']') transport.markLast();
  else if (k === 'l') transport.toggleLoop();
  else if (k === 'g') moveCursor(state, state.cursor.track, playheadRow(state, performance.now()));
  else if (k === 'z') zoomAround(state, state.cursor.row, 2);
  else if (k === 'Z') zoomAround(state, state.cursor.row, 0.5);
  else if (k === 'f') fitAll(state);
  else if (k === 'w') { state.showWave = !state.showWave; state.gen.view++; }
  else handled = false;
  if (handled) e.preventDefault();
}

// ---- mouse

function plotX(e, element) {
  return e.clientX - element.getBoundingClientRect().left;
}

// Zoomed out, handles overlap and the one drawn on top is not always the one aimed at: a grab takes
// the handle of the lane whose centre is nearest the pointer.
function nearestHandle(state, dom, name, e) {
  const track = state.timeline.byName.get(name);
  const handles = dom.lanes.get(name).handles;
  const row = rowAtX(state, plotX(e, dom.lanes.get(name).canvas));
  const reach = GRAB_PX / state.view.pxPerRow;
  let best = null, bestDistance = Infinity;
  for (const key of track.keys) {
    if (Math.abs(key.row - row) > reach) continue;
    const handle = handles.get(key.row);
    if (!handle) continue;
    const r = handle.getBoundingClientRect();
    const distance = Math.hypot((r.left + r.right) / 2 - e.clientX, (r.top + r.bottom) / 2 - e.clientY);
    if (distance < bestDistance) { best = key.row; bestDistance = distance; }
  }
  return best;
}

// A key of a lane drawn without handles (lanes.js), under the pointer; null when none is.
function drawnKeyAt(state, dom, target, e) {
  const plot = target.closest('.plot'), r = plot.getBoundingClientRect();
  return keyNear(state, dom, plot.parentElement.dataset.track, e.clientX - r.left, e.clientY - r.top, GRAB_PX);
}

// Selects the key grabbed (Shift adds it) and starts dragging the selection; false when Shift took
// it out of the selection.
function grabKey(app, e, name, row, target) {
  const { state } = app;
  const id = keyId(name, row);
  moveCursor(state, name, row);
  if (e.shiftKey) select(state, [id], true);
  else if (!state.selection.has(id)) select(state, [id], false);
  if (!state.selection.has(id)) return false;
  const keys = targetKeys(state).map((k) => ({ ...k, newRow: k.row, newValue: k.value,
    perPx: app.valuePerPx(k.track, target) }));
  state.drag = { kind: 'keys', x0: e.clientX, y0: e.clientY, last: [e.clientX, e.clientY], offset: [0, 0],
    anchor: id, keys, moved: false };
  return true;
}

function onPointerDown(app, dom, e) {
  const { state } = app;
  if (!state.timeline || e.button !== 0) return;
  const t = e.target;
  if (t === dom.ruler) {
    const seekPart = e.offsetY < dom.ruler.clientHeight * RULER_SEEK_SHARE && !e.shiftKey;
    const x = plotX(e, dom.ruler);
    state.drag = seekPart ? { kind: 'scrub', left: dom.ruler.getBoundingClientRect().left }
      : { kind: 'pan', x0: e.clientX, start0: state.view.start };
    if (seekPart) app.transport.seek(app.snap(wholeRow(rowAtX(state, x))));
  } else if (t.classList.contains('key')) {
    const name = t.closest('[data-track]').dataset.track;   // a lane's handle or the focused view's
    const row = (t.closest('.lane') ? nearestHandle(state, dom, name, e) : null) ?? Number(t.dataset.row);
    if (!grabKey(app, e, name, row, t)) return;
  } else if (t.closest('.lane .plot') && drawnKeyAt(state, dom, t, e) !== null) {
    if (!grabKey(app, e, t.closest('.lane').dataset.track, drawnKeyAt(state, dom, t, e), t)) return;
  } else if (t.closest('.lane .plot')) {
    const lane = t.closest('.lane');
    const plot = t.closest('.plot');
    moveCursor(state, lane.dataset.track, app.snap(rowAtX(state, plotX(e, plot)), null, true));
    const c = dom.content.getBoundingClientRect();
    state.drag = { kind: 'box', additive: e.shiftKey, x0: e.clientX - c.left, y0: e.clientY - c.top,
      x1: e.clientX - c.left, y1: e.clientY - c.top, moved: false };
  } else return;
  e.preventDefault();
  dom.timeline.focus({ preventScroll: true });
  dom.content.setPointerCapture(e.pointerId);
  state.gen.drag++;
}

function onPointerMove(app, dom, e) {
  const { state } = app;
  const d = state.drag;
  if (!d) return hover(state, dom, e);
  if (d.kind === 'scrub') {
    app.transport.seek(app.snap(wholeRow(rowAtX(state, e.clientX - d.left))));
  } else if (d.kind === 'pan') {
    state.view.start = d.start0 - (e.clientX - d.x0) / state.view.pxPerRow;
    panBy(state, 0);
  } else if (d.kind === 'box') {
    const c = dom.content.getBoundingClientRect();
    d.x1 = e.clientX - c.left;
    d.y1 = e.clientY - c.top;
    d.moved = d.moved || Math.abs(d.x1 - d.x0) + Math.abs(d.y1 - d.y0) > DRAG_THRESHOLD_PX;
  } else if (d.kind === 'keys' && isEditable(state)) {
    // The pointer's way is added up at the rate of the moment: Alt pressed or let go mid-drag
    // changes how far the keys go from there on, never where they already are.
    const rate = e.altKey ? FINE_RATE : 1;
    d.offset[0] += (e.clientX - d.last[0]) * rate;
    d.offset[1] += (e.clientY - d.last[1]) * rate;
    d.last = [e.clientX, e.clientY];
    if (!d.moved && Math.abs(e.clientX - d.x0) + Math.abs(e.clientY - d.y0) <= DRAG_THRESHOLD_PX) return;
    d.moved = true;
    let [dx, dy] = d.offset;
    if (e.shiftKey) { if (Math.abs(dx) > Math.abs(dy)) dy = 0; else dx = 0; }
    const anchor = splitKeyId(d.anchor);
    let target = anchor.row + dx / state.view.pxPerRow;
    target = e.ctrlKey || e.metaKey ? Math.round(target / ROWS_PER_BEAT) * ROWS_PER_BEAT : app.snap(target, d.keys, true);
    const rows = state.timeline.rows;
    const lowest = Math.min(...d.keys.map((k) => k.row)), highest = Math.max(...d.keys.map((k) => k.row));
    const delta = Math.max(-lowest, Math.min(rows - 1 - highest, target - anchor.row));
    for (const k of d.keys) {
      const track = state.timeline.byName.get(k.track);
      k.newRow = k.row + delta;
      k.newValue = dy === 0 ? k.value
        : roundToLane(track, k.value - dy * k.perPx);
    }
    // The readout follows the key held, where it would land.
    const held = d.keys.find((k) => keyId(k.track, k.row) === d.anchor);
    const c = dom.content.getBoundingClientRect();
    state.hover = { track: held.track, row: held.newRow, value: held.newValue, x: e.clientX - c.left, y: e.clientY - c.top };
    state.gen.hover++;
  } else return;
  state.gen.drag++;
}

function hover(state, dom, e) {
  const plot = e.target.closest && e.target.closest('.lane .plot');
  if (!plot || !state.timeline) {
    if (state.hover) { state.hover = null; state.gen.hover++; }
    return;
  }
  const name = plot.parentElement.dataset.track;
  const track = state.timeline.byName.get(name);
  const row = Math.max(0, Math.min(state.timeline.rows - 1, wholeRow(rowAtX(state, plotX(e, plot)))));
  // A handle, or a key its lane draws: the readout tells the key's own row and value.
  const drawn = e.target.classList.contains('key') ? null : drawnKeyAt(state, dom, e.target, e);
  const onKey = drawn !== null ? findKey(track, drawn)
    : e.target.classList.contains('key') ? findKey(track, Number(e.target.dataset.row)) : null;
  const c = dom.content.getBoundingClientRect();
  state.hover = { track: name, row: onKey ? onKey.row : row, value: onKey ? onKey.value : track.samples[row],
    x: e.clientX - c.left, y: e.clientY - c.top };
  state.gen.hover++;
}

function onPointerUp(app, dom, e) {
  const { state } = app;
  const d = state.drag;
  if (!d) return;
  if (dom.content.hasPointerCapture(e.pointerId)) dom.content.releasePointerCapture(e.pointerId);
  state.drag = null;
  if (d.kind === 'box') {
    if (d.moved) select(state, keysInBox(state, dom, d), d.additive);
    else if (!d.additive) select(state, [], false);
  } else if (d.kind === 'keys' && d.moved) {
    state.hover = null;
    state.gen.hover++;
    if (!isEditable(state)) say(state, `read-only: ${state.timeline.load.message}`, 'error');
    else dropKeys(app, d);
  }
  state.gen.drag++;
}

// A drop: the moved keys are the selection and the cursor is on the one held, at once; the ops are
// made from the keys as the model has them when the drop's turn comes.
function dropKeys(app, d) {
  const { state } = app;
  const ids = d.keys.map((k) => keyId(k.track, k.newRow));
  const anchor = d.keys.find((k) => keyId(k.track, k.row) === d.anchor);
  moveCursor(state, anchor.track, anchor.newRow);
  select(state, ids, false);
  const what = d.keys.length === 1 ? `${anchor.track} key moved to ${formatRow(anchor.newRow)}, ${formatValue(anchor.newValue)}` : `${d.keys.length} keys moved`;
  app.act(what, (s) => {
    const now = targetKeys(s, d.keys.map((k) => keyId(k.track, k.row)));
    if (now.length !== d.keys.length) return say(s, 'the dragged keys are gone: nothing moved', 'warn');
    select(s, ids, false);
    return dragOps(d.keys.map((k, i) => ({ ...k, interp: now[i].interp })));
  }).then((written) => { if (!written) app.preview([]); });
}

function keysInBox(state, dom, d) {
  const c = dom.content.getBoundingClientRect();
  const left = Math.min(d.x0, d.x1), right = Math.max(d.x0, d.x1);
  const top = Math.min(d.y0, d.y1), bottom = Math.max(d.y0, d.y1);
  const ids = [];
  for (const name of visibleTracks(state)) {
    const entry = dom.lanes.get(name);
    if (entry.shown && entry.shown.drawn) {
      const track = state.timeline.byName.get(name), p = entry.canvas.getBoundingClientRect();
      for (const key of track.keys) {
        const [x, y] = handleCentre(state, track, key, entry.height);
        if (x + p.left - c.left >= left && x + p.left - c.left <= right && y + p.top - c.top >= top && y + p.top - c.top <= bottom) {
          ids.push(keyId(name, key.row));
        }
      }
      continue;
    }
    for (const [row, handle] of entry.handles) {
      const r = handle.getBoundingClientRect();
      const x = (r.left + r.right) / 2 - c.left, y = (r.top + r.bottom) / 2 - c.top;
      if (x >= left && x <= right && y >= top && y <= bottom) ids.push(keyId(name, row));
    }
  }
  return ids;
}

function onWheel(app, dom, e) {
  const { state } = app;
  const plot = e.target.closest('.plot');
  if (!plot || !state.timeline) return;
  e.preventDefault();
  if (e.shiftKey || Math.abs(e.deltaX) > Math.abs(e.deltaY)) {
    panBy(state, (e.shiftKey ? e.deltaY : e.deltaX) / state.view.pxPerRow);
  } else {
    zoomAround(state, rowAtX(state, plotX(e, plot)), Math.exp(-e.deltaY * 0.0015));
  }
}

// The pointer is captured by the lanes' box while a button is down, so the click and the
// double-click arrive there: the lane is the one under the pointer.
function onDoubleClick(app, e) {
  const { state } = app;
  const under = document.elementFromPoint(e.clientX, e.clientY);
  const plot = under && under.closest('.lane .plot');
  if (!plot || under.classList.contains('key') || !state.timeline) return;
  const row = Math.max(0, Math.min(state.timeline.rows - 1, wholeRow(rowAtX(state, plotX(e, plot)))));
  addKey(app, plot.parentElement.dataset.track, row);
}

// Folding a section takes the cursor and the selection off its lanes (see keepCursorShown).
function toggleSection(state, index) {
  const group = state.groups[index];
  group.collapsed = !group.collapsed;
  keepCursorShown(state);
  state.gen.layout++;
  state.gen.view++;
}

export function attachInput(app, dom) {
  document.addEventListener('keydown', (e) => onKey(app, e));
  dom.content.addEventListener('pointerdown', (e) => onPointerDown(app, dom, e));
  dom.content.addEventListener('pointermove', (e) => onPointerMove(app, dom, e));
  dom.content.addEventListener('pointerup', (e) => onPointerUp(app, dom, e));
  dom.content.addEventListener('pointercancel', (e) => onPointerUp(app, dom, e));
  dom.content.addEventListener('pointerleave', () => { if (app.state.hover) { app.state.hover = null; app.state.gen.hover++; } });
  dom.content.addEventListener('wheel', (e) => onWheel(app, dom, e), { passive: false });
  dom.content.addEventListener('dblclick', (e) => onDoubleClick(app, e));
  dom.content.addEventListener('click', (e) => {
    const head = e.target.closest('.group-head');
    if (head) toggleSection(app.state, Number(head.dataset.group));
  });
}
