// The tools that fit keys to the music, wired to the page: snapping (the mode, the target line),
// stretching the selection in time (a typed factor or a drag of the selection's edge), inserting
// and removing time at the cursor, taller lanes, and the focused view's keys. The plans come from
// snap.js, stretch.js and timeshift.js; every write goes through app.act. Its keys are taken before
// the lanes' own (a listener in the capture phase) and are listed in the README's editor section.

import { ROWS_PER_BAR, ROWS_PER_BEAT, formatRow, say, targetKeys, isEditable } from './model.js';
import { LANE_PAD_PX, rowAtX, xOfRow } from './lanes.js';
import { playheadRow } from './transport.js';
import { nextSnapMode, pullingKeys, snapRow } from './snap.js';
import { parseFactor, stretchPlan, stretchedRow } from './stretch.js';
import { insertTimePlan, parseLength, removeTimePlan } from './timeshift.js';
import { fitFocusToKeys, toggleFocus, valuePerPx } from './curve_view.js';

export const LANE_PX = 30;            // a lane's height as the style sheet has it
const LANE_MAX_PX = 480;
const LANE_GROW = 2;                  // each key press doubles the cursor's lane, or halves it back

// ---- snapping

// Where a position lands under the snap mode; remembers what pulled it, for the line and its name.
export function snap(state, row, dragged, whole) {
  const mode = state.snap;
  const s = snapRow(row, { mode, whole, pxPerRow: state.view.pxPerRow, rows: state.timeline.rows,
    keys: mode === 'keys' ? pullingKeys(state, dragged) : null,
    onsets: state.wave ? state.wave.onsets : null });
  state.snapShown = s.name ? s : null;
  state.gen.snap++;
  return s.row;
}

function factorText(f) {
  return String(Number(f.toPrecision(4)));
}

// ---- stretching

function stretchAround(app, factor, pivotName, pivot) {
  const { state } = app;
  const keys = targetKeys(state);
  const what = `${keys.length} key(s) stretched by ${factorText(factor)} around the ${pivotName} (${formatRow(pivot)})`;
  return app.act(what, (s) => {
    const plan = stretchPlan(s.timeline, targetKeys(s), pivot, factor);
    if (plan.error) { say(s, plan.error, 'error'); return null; }
    if (!plan.ops.length) say(s, 'the keys stay where they are at that factor', 'warn');
    return plan.ops;
  }).then((ok) => {
    if (ok) {
      state.selection = new Set(keys.map((k) => `${k.track}@${stretchedRow(k.row, pivot, factor)}`));
      state.gen.selection++;
    }
    return ok;
  });
}

function pivotOf(state, atPlayhead) {
  return atPlayhead ? { name: 'play head', row: Math.round(playheadRow(state, performance.now())) }
    : { name: 'cursor', row: state.cursor.row };
}

// ---- time

function shiftTime(app, length, remove) {
  const { state } = app;
  const at = state.cursor.row;
  const plan = remove ? removeTimePlan(state.timeline, at, length) : insertTimePlan(state.timeline, at, length);
  if (plan.error) return say(state, plan.error, 'error');
  const what = remove ? `${formatRow(length)} removed at ${formatRow(at)}: ${plan.deleted} key(s) inside it deleted, ${plan.moved} moved earlier`
    : `${formatRow(length)} inserted at ${formatRow(at)}: ${plan.moved} key(s) moved later`;
  return app.act(what, (s) => {
    const p = remove ? removeTimePlan(s.timeline, at, length) : insertTimePlan(s.timeline, at, length);
    if (p.error) { say(s, p.error, 'error'); return null; }
    if (!p.ops.length) say(s, `no key at or after ${formatRow(at)}: nothing to move`, 'warn');
    return p.ops;
  });
}

// ---- the prompt in the status bar

function openPrompt(app, dom, label, take) {
  dom.prompt.hidden = false;
  dom.promptLabel.textContent = label;
  dom.promptInput.value = '';
  dom.promptInput.focus();
  dom.promptTake = take;
}

function closePrompt(app, dom) {
  dom.prompt.hidden = true;
  dom.promptTake = null;
  app.focusTimeline();
}

// ---- lane heights

export function laneHeight(state, name) {
  return state.laneHeights.get(name) || LANE_PX;
}

function setLaneHeight(state, name, px) {
  const h = Math.max(LANE_PX, Math.min(LANE_MAX_PX, Math.round(px)));
  if (h === LANE_PX) state.laneHeights.delete(name); else state.laneHeights.set(name, h);
  state.gen.layout++;
  state.gen.view++;
}

// ---- keys

function onKey(app, dom, e) {
  const { state } = app;
  const t = e.target;
  if (!state.timeline || e.ctrlKey || e.metaKey || e.altKey) return;
  if (t.closest && t.closest('input, select, textarea')) return;
  const k = e.key;
  const editable = isEditable(state);
  const needEditable = () => { if (!editable) say(state, `read-only until the timeline is fixed: ${state.timeline.load.message}`, 'error'); return editable; };
  if (k === 's') {
    state.snap = nextSnapMode(state.snap);
    state.gen.snap++;
    say(state, `snap: ${state.snap}`);
  } else if (k === 'x' || k === 'X') {
    if (!needEditable()) return stop(e);
    const pivot = pivotOf(state, k === 'X');
    const n = targetKeys(state).length;
    if (!n) say(state, 'nothing to stretch: select keys first', 'warn');
    else openPrompt(app, dom, `stretch ${n} key(s) around the ${pivot.name} (${formatRow(pivot.row)}) by (2, 0.5, 3/4):`, (text) => {
      const f = parseFactor(text);
      if (f === null) return say(state, `"${text}" is not a factor (e.g. 2, 0.5 or 3/4)`, 'error');
      stretchAround(app, f, pivot.name, pivot.row);
    });
  } else if (k === 'b' || k === 'B' || k === 'e' || k === 'E') {
    if (!needEditable()) return stop(e);
    shiftTime(app, k.toLowerCase() === 'b' ? ROWS_PER_BAR : ROWS_PER_BEAT, k === 'B' || k === 'E');
  } else if (k === 't' || k === 'T') {
    if (!needEditable()) return stop(e);
    const remove = k === 'T';
    openPrompt(app, dom, `${remove ? 'remove' : 'insert'} time at ${formatRow(state.cursor.row)}, length (1:0 a bar, 0:1 a beat, or rows):`, (text) => {
      const length = parseLength(text);
      if (length === null) return say(state, `"${text}" is not a length (e.g. 1:0, 0:2 or 12)`, 'error');
      shiftTime(app, length, remove);
    });
  } else if (k === 'h' || k === 'H') {
    const name = state.cursor.track;
    setLaneHeight(state, name, k === 'h' ? laneHeight(state, name) * LANE_GROW : laneHeight(state, name) / LANE_GROW);
  } else if (k === 'v') {
    toggleFocus(state);
    say(state, state.focus ? `focused view: ${state.focus.tracks.join(', ')} (Ctrl+wheel zooms the values, Alt+wheel pans them, F fits them)` : 'focused view closed');
  } else if (k === 'F') {
    if (!fitFocusToKeys(state)) say(state, 'no focused view: v opens one', 'warn');
  } else return;
  stop(e);
}

function stop(e) {
  e.preventDefault();
  e.stopImmediatePropagation();
}

// ---- pointer: the selection's edges and the lanes' lower edges

function selectionSpan(state) {
  if (state.selection.size < 2) return null;
  const rows = targetKeys(state).map((k) => k.row);
  const first = Math.min(...rows), last = Math.max(...rows);
  return first < last ? { first, last } : null;
}

function beginStretchDrag(app, dom, e, edge) {
  const { state } = app;
  if (!isEditable(state) || e.button !== 0) return;
  const span = selectionSpan(state);
  if (!span) return;
  const pivot = pivotOf(state, e.shiftKey);
  const from = edge === 'first' ? span.first : span.last;
  e.preventDefault();
  e.stopPropagation();
  if (from === pivot.row) return say(state, `the ${pivot.name} is on that edge: put it elsewhere to stretch around it`, 'warn');
  const keys = targetKeys(state).map((k) => ({ ...k, newRow: k.row, newValue: k.value }));
  state.drag = { kind: 'stretch', keys, anchor: `${keys[0].track}@${keys[0].row}`, from, pivot, factor: 1, moved: false, committing: false,
    left: dom.ruler.getBoundingClientRect().left };
  e.target.setPointerCapture(e.pointerId);
  state.gen.drag++;
}

function moveStretchDrag(app, e) {
  const { state } = app;
  const d = state.drag;
  if (!d || d.kind !== 'stretch' || d.committing) return;
  e.stopPropagation();
  const to = snap(state, rowAtX(state, e.clientX - d.left), d.keys, true);
  const factor = (to - d.pivot.row) / (d.from - d.pivot.row);
  if (!(factor > 0)) return;
  d.factor = factor;
  d.moved = factor !== 1;
  for (const k of d.keys) k.newRow = stretchedRow(k.row, d.pivot.row, factor);
  state.gen.drag++;
}

function endStretchDrag(app, e) {
  const { state } = app;
  const d = state.drag;
  if (!d || d.kind !== 'stretch') return;
  e.stopPropagation();
  if (!d.moved) { state.drag = null; state.gen.drag++; return; }
  d.committing = true;
  stretchAround(app, d.factor, d.pivot.name, d.pivot.row).then((ok) => {
    if (!ok) app.preview([]);
    state.drag = null;
    state.gen.drag++;
  });
}

function beginLaneResize(app, e) {
  const { state } = app;
  const lane = e.target.closest('.lane');
  e.preventDefault();
  e.stopPropagation();
  state.drag = { kind: 'resize', track: lane.dataset.track, y0: e.clientY, h0: laneHeight(state, lane.dataset.track) };
  e.target.setPointerCapture(e.pointerId);
}

// ---- drawing what the tools show: the snap mode, the snap line, the edges (lanes.js applies the
// lanes' heights, before it reads them)

export function drawTools(dom, state) {
  if (!state.drag || state.drag.committing) state.snapShown = null;
  const s = state.snapShown;
  const lineKey = s ? `${s.row}|${s.name}|${state.gen.view}` : '';
  if (dom.snapShownKey !== lineKey) {
    dom.snapLine.hidden = !s;
    if (s) {
      dom.snapLine.style.transform = `translateX(${xOfRow(state, s.row)}px)`;
      dom.snapLine.firstChild.textContent = s.name;
    }
    dom.snapShownKey = lineKey;
  }
  if (dom.snapMode.textContent !== `snap: ${state.snap}`) dom.snapMode.textContent = `snap: ${state.snap}`;
  const span = state.drag && state.drag.kind === 'stretch' ? null : selectionSpan(state);
  const edgeKey = span ? `${span.first}|${span.last}|${state.gen.view}` : '';
  if (dom.edgesShown !== edgeKey) {
    for (const [edge, el] of Object.entries(dom.edges)) {
      el.hidden = !span;
      if (span) el.style.transform = `translateX(${xOfRow(state, span[edge])}px)`;
    }
    dom.edgesShown = edgeKey;
  }
}

// The value a pixel of vertical drag is worth for a key handle: the focused view's scale for its
// handles, the lane's for the others.
export function dragValuePerPx(state, dom, track, handle) {
  if (state.focus && handle.closest('.focus-track')) return valuePerPx(state);
  const t = state.timeline.byName.get(track);
  const height = dom.lanes.get(track).canvas.clientHeight;
  return (t.hi - t.lo) / (height - 2 * LANE_PAD_PX);
}

export function attachTools(app, dom) {
  const { state } = app;
  document.addEventListener('keydown', (e) => onKey(app, dom, e), true);
  dom.prompt.addEventListener('submit', (e) => {
    e.preventDefault();
    const take = dom.promptTake;
    const text = dom.promptInput.value;
    closePrompt(app, dom);
    if (take) take(text);
  });
  dom.promptInput.addEventListener('keydown', (e) => {
    if (e.key === 'Escape') { e.preventDefault(); closePrompt(app, dom); say(state, 'nothing changed'); }
  });
  for (const [edge, el] of Object.entries(dom.edges)) {
    el.addEventListener('pointerdown', (e) => beginStretchDrag(app, dom, e, edge));
    el.addEventListener('pointermove', (e) => moveStretchDrag(app, e));
    el.addEventListener('pointerup', (e) => endStretchDrag(app, e));
    el.addEventListener('pointercancel', (e) => endStretchDrag(app, e));
  }
  dom.groups.addEventListener('pointerdown', (e) => {
    if (e.target.classList.contains('lane-grip') && e.button === 0) beginLaneResize(app, e);
  });
  dom.groups.addEventListener('pointermove', (e) => {
    const d = state.drag;
    if (!d || d.kind !== 'resize') return;
    e.stopPropagation();
    setLaneHeight(state, d.track, d.h0 + e.clientY - d.y0);
  });
  const endResize = (e) => {
    if (!state.drag || state.drag.kind !== 'resize') return;
    e.stopPropagation();
    state.drag = null;
    say(state, `${e.target.closest('.lane').dataset.track}: ${laneHeight(state, e.target.closest('.lane').dataset.track)} px tall`);
  };
  dom.groups.addEventListener('pointerup', endResize);
  dom.groups.addEventListener('pointercancel', endResize);
}

