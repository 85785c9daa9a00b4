// The focused view: one or more tracks drawn large on one value axis with ticks, under the same
// time axis as the lanes. Its value window zooms and pans on its own (Ctrl+wheel, Alt+wheel) and
// fits the keys shown; its key handles are the lanes' kind of handle, so the lanes' drag moves them,
// with the value scale of this view. While keys are dragged it reads out the anchor key's row and
// value. Opened and closed with a key; the tracks are the selection's, or the cursor's lane.

import { ROWS_PER_BAR, ROWS_PER_BEAT, formatRow, formatValue, keyId, splitKeyId, trackValue } from './model.js';
import { LANE_PAD_PX, draggedKeys, rowAtX } from './lanes.js';

export const FOCUS_HEIGHT_PX = 240;
const COLORS = ['#7fc8ff', '#ff9f6b', '#9be38f', '#e59cff', '#ffd166', '#6be0d4'];
const TICK_TARGET = 6;

// Round tick values for a value window: steps of 1, 2 or 5 times a power of ten, about `count` of them.
export function valueTicks(lo, hi, count = TICK_TARGET) {
  if (!(hi > lo)) return [];
  const raw = (hi - lo) / count;
  const power = Math.pow(10, Math.floor(Math.log10(raw)));
  const step = [1, 2, 5, 10].map((m) => m * power)
    .reduce((best, s) => (Math.abs((hi - lo) / s - count) < Math.abs((hi - lo) / best - count) ? s : best));
  const out = [];
  for (let i = Math.ceil(lo / step); i * step <= hi + step * 1e-9; i++) out.push(Number((i * step).toPrecision(12)));
  return out;
}

// The value window around a value at a fraction of it, zoomed by a factor (above 1 shows less).
export function zoomValue(window, value, factor) {
  return { lo: value - (value - window.lo) / factor, hi: value + (window.hi - value) / factor };
}

// The window that holds these values with a margin; one value (or none) gets a window of one.
export function fitValues(values) {
  if (!values.length) return { lo: -0.5, hi: 0.5 };
  const lo = Math.min(...values), hi = Math.max(...values);
  if (hi - lo < 1e-9) return { lo: lo - 0.5, hi: hi + 0.5 };
  const margin = (hi - lo) * 0.08;
  return { lo: lo - margin, hi: hi + margin };
}

function yOf(window, value, height) {
  return LANE_PAD_PX + ((window.hi - value) / (window.hi - window.lo)) * (height - 2 * LANE_PAD_PX);
}

// ---- the state's side

export function toggleFocus(state) {
  if (state.focus) {
    state.focus = null;
  } else {
    const names = state.selection.size ? [...new Set([...state.selection].map((id) => splitKeyId(id).track))]
      : [state.cursor.track];
    const tracks = names.map((n) => state.timeline.byName.get(n)).filter(Boolean);
    const range = fitValues(tracks.flatMap((t) => [t.lo, t.hi]));
    state.focus = { tracks: tracks.map((t) => t.name), lo: range.lo, hi: range.hi };
  }
  state.gen.focus++;
  state.gen.layout++;
}

export function fitFocusToKeys(state) {
  const f = state.focus;
  if (!f) return false;
  const first = state.view.start, last = rowAtX(state, state.view.width);
  const values = [];
  for (const name of f.tracks) {
    for (const k of state.timeline.byName.get(name).keys) if (k.row >= first && k.row <= last) values.push(k.value);
  }
  Object.assign(f, fitValues(values));
  state.gen.focus++;
  return true;
}

export function valuePerPx(state) {
  const f = state.focus;
  return (f.hi - f.lo) / (FOCUS_HEIGHT_PX - 2 * LANE_PAD_PX);
}

export function attachFocus(app, dom) {
  const { state } = app;
  dom.focusPlot.addEventListener('wheel', (e) => {
    if (!state.focus || !(e.ctrlKey || e.altKey || e.metaKey)) return;   // plain: the lanes' time zoom
    e.preventDefault();
    e.stopPropagation();
    const f = state.focus;
    const y = e.clientY - dom.focusPlot.getBoundingClientRect().top;
    const value = f.hi - ((y - LANE_PAD_PX) / (FOCUS_HEIGHT_PX - 2 * LANE_PAD_PX)) * (f.hi - f.lo);
    const delta = e.deltaY || e.deltaX;
    if (e.altKey) {
      const shift = (delta / FOCUS_HEIGHT_PX) * (f.hi - f.lo) * 0.5;
      f.lo -= shift;
      f.hi -= shift;
    } else Object.assign(f, zoomValue(f, value, Math.exp(-delta * 0.0015)));
    state.gen.focus++;
  }, { passive: false });
}

// ---- drawing, every animation frame; repaints only when what it shows changed

export function drawFocus(dom, state) {
  const f = state.focus;
  if (dom.focusRow.hidden !== !f) dom.focusRow.hidden = !f;
  if (!f || !state.timeline) return;
  const tracks = f.tracks.map((n) => state.timeline.byName.get(n)).filter(Boolean);
  const dragged = draggedKeys(state);
  const width = state.view.width, height = FOCUS_HEIGHT_PX;
  const inDrag = dragged && tracks.some((t) => dragged.curves.has(t.name)) ? state.gen.drag : -1;
  const signature = `${state.gen.view}|${state.gen.focus}|${state.gen.model}|${width}|${inDrag}|${state.gen.selection}`;
  if (dom.focusSignature !== signature) {
    dom.focusSignature = signature;
    dom.focusPlot.style.setProperty('--lane', `${height}px`);
    buildAxis(dom, f, tracks, height);
    paint(dom, state, f, tracks, dragged, width, height);
    placeHandles(dom, state, f, tracks, dragged);
  }
  const d = state.drag;
  const readout = d && d.keys && d.moved ? d.keys.find((k) => keyId(k.track, k.row) === d.anchor) || d.keys[0] : null;
  const text = readout ? `${readout.track} · ${formatRow(readout.newRow)} · ${formatValue(readout.newValue)}` : '';
  if (dom.focusReadout.textContent !== text) {
    dom.focusReadout.textContent = text;
    dom.focusReadout.hidden = !text;
  }
}

function buildAxis(dom, f, tracks, height) {
  const axis = dom.focusAxis;
  axis.textContent = '';
  const names = document.createElement('div');
  names.className = 'focus-names';
  for (const [i, t] of tracks.entries()) {
    const n = document.createElement('span');
    n.textContent = t.name;
    n.style.color = COLORS[i % COLORS.length];
    names.append(n, ' ');
  }
  axis.append(names);
  for (const v of valueTicks(f.lo, f.hi)) {
    const tick = document.createElement('span');
    tick.className = 'tick';
    tick.textContent = formatValue(v);
    tick.style.top = `${yOf(f, v, height) - 7}px`;
    axis.append(tick);
  }
}

function paint(dom, state, f, tracks, dragged, width, height) {
  const canvas = dom.focusCanvas;
  const ratio = window.devicePixelRatio || 1;
  canvas.width = Math.max(1, Math.round(width * ratio));
  canvas.height = Math.round(height * ratio);
  const ctx = canvas.getContext('2d');
  ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
  ctx.clearRect(0, 0, width, height);
  const { start, pxPerRow } = state.view;
  const step = pxPerRow * ROWS_PER_BEAT >= 10 ? ROWS_PER_BEAT : ROWS_PER_BAR;
  ctx.lineWidth = 1;
  for (let r = Math.ceil(start / step) * step; r <= start + width / pxPerRow; r += step) {
    ctx.strokeStyle = r % ROWS_PER_BAR === 0 ? '#3d475c' : '#2a3140';
    const x = Math.round((r - start) * pxPerRow) + 0.5;
    ctx.beginPath(); ctx.moveTo(x, 0); ctx.lineTo(x, height); ctx.stroke();
  }
  ctx.strokeStyle = '#2f3849';
  for (const v of valueTicks(f.lo, f.hi)) {
    const y = Math.round(yOf(f, v, height)) + 0.5;
    ctx.beginPath(); ctx.moveTo(0, y); ctx.lineTo(width, y); ctx.stroke();
  }
  const rows = state.timeline.rows;
  for (const [i, t] of tracks.entries()) {
    const curve = dragged && dragged.curves.get(t.name);
    const keys = curve ? curve.keys : t.keys, samples = curve ? curve.samples : t.samples;
    ctx.strokeStyle = COLORS[i % COLORS.length];
    ctx.lineWidth = 2;
    ctx.beginPath();
    for (let x = 0; x <= width; x++) {
      const r0 = start + x / pxPerRow;
      if (r0 < 0 || r0 >= rows) continue;
      if (pxPerRow < 1) {   // a column holds several rows: their span of values, so no pulse is lost
        const a = Math.floor(r0), b = Math.min(rows, Math.floor(start + (x + 1) / pxPerRow) + 1);
        let lo = Infinity, hi = -Infinity;
        for (let r = a; r < b; r++) { lo = Math.min(lo, samples[r]); hi = Math.max(hi, samples[r]); }
        ctx.lineTo(x, yOf(f, hi, height));
        ctx.lineTo(x, yOf(f, lo, height));
      } else ctx.lineTo(x, yOf(f, trackValue(keys, r0), height));
    }
    ctx.stroke();
  }
}

function placeHandles(dom, state, f, tracks, dragged) {
  const moved = new Map();
  if (dragged) for (const k of state.drag.keys) moved.set(keyId(k.track, k.row), k);
  const layer = dom.focusKeys;
  layer.textContent = '';
  for (const t of tracks) {
    const group = document.createElement('div');
    group.className = 'focus-track';
    group.dataset.track = t.name;
    for (const key of t.keys) {
      const id = keyId(t.name, key.row);
      const m = moved.get(id);
      const b = document.createElement('div');
      b.className = 'key ' + key.interp + (state.selection.has(id) ? ' selected' : '');
      b.dataset.row = String(key.row);
      b.dataset.value = String(key.value);
      b.dataset.interp = key.interp;
      b.style.setProperty('--r', String(m ? m.newRow : key.row));
      b.style.setProperty('--y', String((f.hi - (m ? m.newValue : key.value)) / (f.hi - f.lo)));
      group.append(b);
    }
    layer.append(group);
  }
}

