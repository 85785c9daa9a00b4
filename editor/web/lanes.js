// The lanes: the ruler, one lane per track grouped by section, the key handles, the play head.
// drawView() is called every animation frame and draws everything from the state. It keeps a
// signature of what each canvas last showed and repaints a canvas only when that changed, so a
// frame while the demo plays moves the play head (a transform, no repaint) and little else.
// Key handles are small focusable DOM elements placed by CSS variables: zooming changes two
// variables, not every position. A lane of many keys has handles only for the keys near the view,
// and where even those are too many to tell apart, one, for the key under the cursor: its canvas
// draws the keys and a grab or a hover finds them in the model (keyNear), so zoom, wheel and drag
// cost what is on screen, not what the track holds. The page's first frame has every lane draw its
// keys, and the handles follow a frame later. This file reads the state and never changes it.

import {
  INTERPOLATIONS, ROWS_PER_BAR, ROWS_PER_BEAT, formatRow, formatValue, keyBefore, keyId, trackValue, isEditable, wholeRow,
} from './model.js';
import { playheadRow } from './transport.js';
import { drawWaveform } from './waveform.js';

export const LANE_PAD_PX = 7;   // a key at the lane's top or bottom value stays whole inside it
// Up to this many keys a lane has a handle for each; above, for the keys within half a view of it,
// while there are at most WINDOW_HANDLES of them (64 keys fill a lane 1,000 px wide every 15 px).
export const ALL_HANDLES_MAX = 256;
const WINDOW_HANDLES = 64;
const HANDLE_PX = 12;
const KEY_FILL = { plain: '#e8eef8', selected: '#ffd166', readonly: '#9aa3b3' };
const COLORS = {
  grid: '#2a3140', bar: '#3d475c', curve: '#7fc8ff', step: '#7fc8ff', zero: '#4a5468',
  cursor: '#ffd166', text: '#aab4c8', background: '#161b24', readonly: 'rgba(255,80,80,0.06)',
};

export function xOfRow(state, row) {
  return (row - state.view.start) * state.view.pxPerRow;
}

export function rowAtX(state, x) {
  return state.view.start + x / state.view.pxPerRow;
}

export function yOfValue(track, value, height) {
  return LANE_PAD_PX + ((track.hi - value) / (track.hi - track.lo)) * (height - 2 * LANE_PAD_PX);
}

export function valueAtY(track, y, height) {
  return track.hi - ((y - LANE_PAD_PX) / (height - 2 * LANE_PAD_PX)) * (track.hi - track.lo);
}

// ---- building the DOM: once per set of tracks, and the handles of a lane when its keys change

export function buildLanes(dom, state) {
  dom.groups.textContent = '';
  dom.lanes = new Map();
  for (const [index, group] of state.groups.entries()) {
    const section = document.createElement('section');
    section.className = 'group';
    section.setAttribute('aria-label', `section ${group.title}`);
    const head = document.createElement('button');
    head.className = 'group-head';
    head.dataset.group = String(index);
    head.setAttribute('aria-expanded', 'true');
    head.title = group.comment || group.title;
    head.textContent = `${group.title} (${group.tracks.length})`;
    section.append(head);
    for (const name of group.tracks) {
      const lane = document.createElement('div');
      lane.className = 'lane';
      lane.dataset.track = name;
      lane.setAttribute('role', 'group');
      lane.setAttribute('aria-label', `track ${name}`);
      const label = document.createElement('div');
      label.className = 'label';
      label.innerHTML = '<span class="name"></span><span class="range"></span>';
      label.firstChild.textContent = name;
      const plot = document.createElement('div');
      plot.className = 'plot';
      const canvas = document.createElement('canvas');
      canvas.setAttribute('aria-hidden', 'true');
      const keys = document.createElement('div');
      keys.className = 'keys';
      keys.setAttribute('role', 'list');
      keys.setAttribute('aria-label', `keys of ${name}`);
      plot.append(canvas, keys);
      const grip = document.createElement('div');
      grip.className = 'lane-grip';
      grip.title = 'drag to make the lane taller (h / H: the cursor\'s lane)';
      lane.append(label, plot, grip);
      section.append(lane);
      dom.lanes.set(name, { lane, canvas, keys, range: label.lastChild, signature: '', handles: new Map() });
    }
    dom.groups.append(section);
  }
  dom.structure = structureOf(state);
}

function structureOf(state) {
  return state.groups.map((g) => g.title + ':' + g.tracks.join(',')).join('|');
}

// The keys [first, end) of a track that get handles, and the rows the choice holds for: a lane's
// window is kept while the view stays inside it, so a pan or a zoom in touches no handle.
export function handleRange(kept, track, view) {
  const keys = track.keys;
  if (keys.length <= ALL_HANDLES_MAX) return { first: 0, end: keys.length, drawn: false, lo: -Infinity, hi: Infinity };
  const span = view.width / view.pxPerRow, start = view.start, end = start + span;
  if (kept && !kept.drawn && kept.keys === keys && kept.lo <= start && end <= kept.hi) return kept;
  const lo = start - span / 2, hi = end + span / 2;
  const first = keyBefore(keys, Math.ceil(lo) - 1) + 1, last = keyBefore(keys, Math.floor(hi)) + 1;
  if (last - first > WINDOW_HANDLES) return { first: 0, end: 0, drawn: true, lo: NaN, hi: NaN, keys };
  return { first, end: last, drawn: false, lo, hi, keys };
}

const FIRST_FRAME_RANGE = { first: 0, end: 0, drawn: true, lo: NaN, hi: NaN };

// Handles are written as one piece of markup: parsed at once, far faster than an element, its
// attributes and its two variables set one by one for each of hundreds of keys.
function buildHandles(entry, track, first, end) {
  const html = [];
  for (let i = first; i < end; i++) html.push(handleMarkup(track, track.keys[i]));
  entry.keys.innerHTML = html.join('');
  entry.handles = new Map();
  for (const b of entry.keys.children) entry.handles.set(Number(b.dataset.row), b);
  entry.range.textContent = `${formatValue(track.lo)} … ${formatValue(track.hi)}`;
}

function handleMarkup(track, key) {
  return `<div class="key ${key.interp}" data-row="${key.row}" data-value="${key.value}" data-interp="${key.interp}" ` +
    `tabindex="-1" role="listitem" aria-label="${escapeHtml(track.name)} key at ${formatRow(key.row)} (row ${key.row}), ` +
    `${formatValue(key.value)}, ${key.interp}" style="--r:${key.row};--y:${(track.hi - key.value) / (track.hi - track.lo)}"></div>`;
}

// A lane that draws its keys has one handle, for the key under the cursor: the keyboard reaches
// that key as it reaches a handle, and the pointer finds it there too. Placed again when the
// cursor, the lane's keys or its handles change.
function placeCursorHandle(dom, state) {
  const { track: name, row } = state.cursor, entry = dom.lanes.get(name);
  const track = state.timeline.byName.get(name);
  const key = entry && entry.shown.drawn ? track.keys[keyBefore(track.keys, row)] : null;
  const at = key && key.row === row ? key : null;
  const signature = at ? `${name}|${row}|${track.revision}|${entry.built}` : '';
  if (dom.cursorHandleFor === signature) return;
  const old = dom.cursorHandle;
  if (old && old.entry.handles.get(old.row) === old.element) old.entry.handles.delete(old.row);
  if (old) old.element.remove();
  dom.cursorHandle = null;
  if (at) {
    entry.keys.insertAdjacentHTML('beforeend', handleMarkup(track, at));
    dom.cursorHandle = { entry, row, element: entry.keys.lastChild };
    entry.handles.set(row, entry.keys.lastChild);
    dom.appliedSelection = null;   // it shows the selection as every handle does
  }
  dom.cursorHandleFor = signature;
}

function escapeHtml(text) {
  return text.replace(/[&<>"]/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' })[c]);
}

// The centre of a key's handle in its lane's plot, as the style sheet places a handle.
export function handleCentre(state, track, key, height) {
  return [xOfRow(state, key.row), 1 + HANDLE_PX / 2 + ((track.hi - key.value) / (track.hi - track.lo)) * (height - 15)];
}

// The row of the key of a lane drawn without handles whose centre is nearest (x, y) in its plot,
// within `reach` px; null when none is.
export function keyNear(state, dom, name, x, y, reach) {
  const entry = dom.lanes.get(name), track = state.timeline.byName.get(name);
  if (!entry || !entry.shown || !entry.shown.drawn) return null;
  const keys = track.keys;
  let best = null, bestDistance = reach;
  for (let i = keyBefore(keys, Math.ceil(rowAtX(state, x - reach)) - 1) + 1; i < keys.length; i++) {
    const [kx, ky] = handleCentre(state, track, keys[i], entry.height);
    if (kx > x + reach) break;
    const distance = Math.hypot(kx - x, ky - y);
    if (distance <= bestDistance) { best = keys[i].row; bestDistance = distance; }
  }
  return best;
}

// The keys of a lane drawn without handles, as the handles would show them: each a copy of the
// picture of its shape and colour, at a whole pixel (a plain copy, where hundreds of small shapes
// filled and outlined are what would make a zoom slow); the selected ones last, on top.
function drawKeys(ctx, state, track, keys, height, width) {
  const picked = selectedRowsOf(state, track.name), on = [];
  const plain = keyPictures(isEditable(state) ? KEY_FILL.plain : KEY_FILL.readonly);
  const { start, pxPerRow } = state.view;
  const scale = (height - 15) / (track.hi - track.lo), half = HANDLE_PX / 2;
  for (let i = Math.max(0, keyBefore(keys, Math.floor(start - HANDLE_PX / pxPerRow)) + 1); i < keys.length; i++) {
    const key = keys[i], x = Math.round((key.row - start) * pxPerRow - half);
    if (x > width) break;
    const y = Math.round(1 + (track.hi - key.value) * scale);
    if (picked && picked.has(key.row)) on.push(key, x, y);
    else ctx.drawImage(plain[key.interp], x, y, HANDLE_PX, HANDLE_PX);
  }
  const selected = keyPictures(KEY_FILL.selected);
  for (let i = 0; i < on.length; i += 3) ctx.drawImage(selected[on[i].interp], on[i + 1], on[i + 2], HANDLE_PX, HANDLE_PX);
}

// Each key shape filled with a colour and outlined, HANDLE_PX square at the screen's pixel ratio,
// as the handles' pictures in the style sheet draw them; made once for each colour and ratio.
const keyPictureSets = new Map();
function keyPictures(fill) {
  const ratio = window.devicePixelRatio || 1, name = `${fill}|${ratio}`;
  if (keyPictureSets.has(name)) return keyPictureSets.get(name);
  const pictures = {};
  for (const interp of INTERPOLATIONS) {
    const picture = pictures[interp] = document.createElement('canvas');
    picture.width = picture.height = Math.ceil(HANDLE_PX * ratio);
    const ctx = picture.getContext('2d'), path = new Path2D();
    ctx.scale(ratio, ratio);
    if (interp === 'hold') path.rect(1.5, 1.5, 9, 9);
    else if (interp === 'smooth') path.arc(6, 6, 5, 0, 2 * Math.PI);
    else if (interp === 'ramp') { path.moveTo(6, 0.8); path.lineTo(11.5, 11); path.lineTo(0.5, 11); path.closePath(); }
    else { path.moveTo(6, 0.5); path.lineTo(11.5, 6); path.lineTo(6, 11.5); path.lineTo(0.5, 6); path.closePath(); }
    ctx.fillStyle = fill;
    ctx.fill(path);
    ctx.strokeStyle = '#0b0f16';
    ctx.lineWidth = 1;
    ctx.stroke(path);
  }
  keyPictureSets.set(name, pictures);
  return pictures;
}

// The rows of a track's selected keys, or null when none of them is.
function selectedRowsOf(state, name) {
  let rows = null;
  for (const id of state.selection) {
    const at = id.lastIndexOf('@');
    if (id.slice(0, at) === name) (rows || (rows = new Set())).add(Number(id.slice(at + 1)));
  }
  return rows;
}

// ---- what a drag shows before the server has it

export function draggedKeys(state) {
  const drag = state.drag;
  if (!drag || !drag.keys) return null;   // keys dragged, or stretched by their selection's edge
  if (drag.cache && drag.cache.gen === state.gen.drag) return drag.cache;
  const byTrack = new Map();
  for (const k of drag.keys) {
    if (!byTrack.has(k.track)) byTrack.set(k.track, []);
    byTrack.get(k.track).push(k);
  }
  const curves = new Map();
  for (const [name, moving] of byTrack) {
    const track = state.timeline.byName.get(name);
    const from = new Set(moving.map((k) => k.row));
    const keys = track.keys.filter((k) => !from.has(k.row))
      .concat(moving.map((k) => ({ row: k.newRow, value: k.newValue, interp: k.interp })))
      .sort((a, b) => a.row - b.row);
    const samples = new Float64Array(state.timeline.rows);
    for (let r = 0; r < samples.length; r++) samples[r] = trackValue(keys, r);
    curves.set(name, { keys, samples });
  }
  drag.cache = { gen: state.gen.drag, curves };
  return drag.cache;
}

// ---- canvases

function fitCanvas(canvas, width, height) {
  const ratio = window.devicePixelRatio || 1;
  const w = Math.max(1, Math.round(width * ratio)), h = Math.max(1, Math.round(height * ratio));
  if (canvas.width !== w || canvas.height !== h) {
    canvas.width = w;
    canvas.height = h;
  }
  const ctx = canvas.getContext('2d');
  ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
  return ctx;
}

function drawGrid(ctx, state, width, height) {
  const { start, pxPerRow } = state.view;
  const end = start + width / pxPerRow;
  const step = pxPerRow * ROWS_PER_BEAT >= 10 ? ROWS_PER_BEAT : ROWS_PER_BAR;
  // One path per colour: a canvas strokes a long path far faster than many short ones.
  const bars = new Path2D(), beats = new Path2D();
  for (let r = Math.ceil(start / step) * step; r <= end; r += step) {
    const x = Math.round((r - start) * pxPerRow) + 0.5;
    const path = r % ROWS_PER_BAR === 0 ? bars : beats;
    path.moveTo(x, 0);
    path.lineTo(x, height);
  }
  ctx.lineWidth = 1;
  ctx.strokeStyle = COLORS.grid;
  ctx.stroke(beats);
  ctx.strokeStyle = COLORS.bar;
  ctx.stroke(bars);
}

// The curve as it plays: steps under hold keys, slopes elsewhere. Zoomed out, each pixel column
// shows the span of values its rows take, so a short pulse never disappears between columns.
function drawCurve(ctx, track, samples, keys, steps, state, width, height) {
  const { start, pxPerRow } = state.view;
  const rows = samples.length;
  // Level stretches on whole pixels with a 2 px line: a crisp band, not two half-lit rows. Slopes
  // keep their exact heights, or they would show stairs.
  const level = (v) => Math.round(yOfValue(track, v, height));
  const y = (v) => yOfValue(track, v, height);
  ctx.strokeStyle = COLORS.curve;
  ctx.lineWidth = 2;
  ctx.beginPath();
  if (pxPerRow < 1) {
    // A column on the level where the line already is only lengthens it: a level stretch is one
    // segment, ended at its last column (`flat`), however many columns it spans.
    let at = NaN, flat = -1;
    for (let x = 0; x < width; x++) {
      const r0 = Math.max(0, Math.floor(start + x / pxPerRow));
      const r1 = Math.min(rows, Math.floor(start + (x + 1) / pxPerRow) + 1);
      if (r0 >= rows) break;
      let lo = Infinity, hi = -Infinity;
      for (let r = r0; r < r1; r++) { const v = samples[r]; if (v < lo) lo = v; if (v > hi) hi = v; }
      const top = level(hi), bottom = level(lo);
      if (x === 0) ctx.moveTo(x, level(samples[r0]));
      else if (top === at && bottom === at) { flat = x + 0.5; continue; }
      if (flat >= 0) ctx.lineTo(flat, at);
      flat = -1;
      at = level(samples[r1 - 1]);
      ctx.lineTo(x + 0.5, top);
      ctx.lineTo(x + 0.5, bottom + 0.01);
      ctx.lineTo(x + 0.5, at);
    }
    if (flat >= 0) ctx.lineTo(flat, at);
  } else {
    const first = Math.max(0, Math.floor(start));
    const last = Math.min(rows - 1, Math.ceil(start + width / pxPerRow));
    // Close up, a slope between two rows is drawn through its in-between values, as they play.
    const sub = pxPerRow > 6 ? Math.min(16, Math.ceil(pxPerRow / 4)) : 1;
    ctx.moveTo((first - start) * pxPerRow, steps[first] ? level(samples[first]) : y(samples[first]));
    for (let r = first; r < last; r++) {
      const x1 = (r + 1 - start) * pxPerRow;
      if (steps[r]) {
        ctx.lineTo(x1, level(samples[r]));
        ctx.lineTo(x1, steps[r + 1] ? level(samples[r + 1]) : y(samples[r + 1]));
      } else {
        for (let s = 1; s < sub; s++) ctx.lineTo((r + s / sub - start) * pxPerRow, y(trackValue(keys, r + s / sub)));
        ctx.lineTo(x1, y(samples[r + 1]));
      }
    }
    if (last === rows - 1) ctx.lineTo((rows - start) * pxPerRow, level(samples[rows - 1]));
  }
  ctx.stroke();
}

function drawLane(entry, track, state, width, height, dragged) {
  const ctx = fitCanvas(entry.canvas, width, height);
  ctx.clearRect(0, 0, width, height);
  drawGrid(ctx, state, width, height);
  if (track.lo < 0 && track.hi > 0) {
    ctx.strokeStyle = COLORS.zero;
    ctx.setLineDash([2, 3]);
    const y0 = Math.round(yOfValue(track, 0, height)) + 0.5;
    ctx.beginPath();
    ctx.moveTo(0, y0);
    ctx.lineTo(width, y0);
    ctx.stroke();
    ctx.setLineDash([]);
  }
  const curve = dragged && dragged.curves.get(track.name);
  if (curve) {
    const steps = new Uint8Array(curve.samples.length + 1).fill(1);
    for (let i = 0; i + 1 < curve.keys.length; i++) {
      if (curve.keys[i].interp !== 'hold') steps.fill(0, curve.keys[i].row, curve.keys[i + 1].row);
    }
    drawCurve(ctx, track, curve.samples, curve.keys, steps, state, width, height);
  } else {
    drawCurve(ctx, track, track.samples, track.keys, track.steps, state, width, height);
  }
  if (entry.shown && entry.shown.drawn) drawKeys(ctx, state, track, curve ? curve.keys : track.keys, height, width);
  if (!isEditable(state)) {
    ctx.fillStyle = COLORS.readonly;
    ctx.fillRect(0, 0, width, height);
  }
  if (state.cursor.track === track.name) {
    const x = Math.round(xOfRow(state, state.cursor.row)) + 0.5;
    const w = Math.max(2, state.view.pxPerRow);
    ctx.fillStyle = 'rgba(255,209,102,0.18)';
    ctx.fillRect(x - 0.5, 0, w, height);
    ctx.strokeStyle = COLORS.cursor;
    ctx.lineWidth = 1;
    ctx.beginPath();
    ctx.moveTo(x, 0);
    ctx.lineTo(x, height);
    ctx.stroke();
  }
}

function drawRuler(canvas, state, width, height) {
  const ctx = fitCanvas(canvas, width, height);
  const { start, pxPerRow } = state.view;
  const end = start + width / pxPerRow;
  ctx.clearRect(0, 0, width, height);
  const half = Math.round(height * 0.6);
  ctx.fillStyle = '#1d2330';
  ctx.fillRect(0, half, width, height - half);
  const t = state.transport;
  const marks = state.marks;
  const shade = (a, b, color) => {
    ctx.fillStyle = color;
    ctx.fillRect(xOfRow(state, a * ROWS_PER_BAR), 0, (b - a + 1) * ROWS_PER_BAR * pxPerRow, height);
  };
  if (t.looping) shade(t.loop.first_bar, t.loop.last_bar, 'rgba(120,200,120,0.30)');
  else if (marks.first !== null || marks.last !== null) {
    const a = marks.first ?? marks.last, b = marks.last ?? marks.first;
    shade(Math.min(a, b), Math.max(a, b), 'rgba(120,200,120,0.12)');
  }
  // Bar numbers every bar when there is room, else every 2nd, 4th, ... bar.
  const barPx = pxPerRow * ROWS_PER_BAR;
  let every = 1;
  while (every * barPx < 26) every *= 2;
  ctx.font = '11px "Liberation Sans", sans-serif';
  ctx.textBaseline = 'top';
  ctx.lineWidth = 1;
  const rows = state.timeline ? state.timeline.rows : 0;
  const bars = new Path2D(), beats = new Path2D();
  ctx.fillStyle = COLORS.text;
  for (let r = Math.max(0, Math.ceil(start / ROWS_PER_BEAT) * ROWS_PER_BEAT); r <= Math.min(end, rows); r += ROWS_PER_BEAT) {
    const x = Math.round((r - start) * pxPerRow) + 0.5;
    const isBar = r % ROWS_PER_BAR === 0;
    const bar = r / ROWS_PER_BAR;
    if (!isBar && pxPerRow * ROWS_PER_BEAT < 5) continue;
    const numbered = isBar && bar % every === 0;
    const path = isBar ? bars : beats;
    path.moveTo(x, numbered ? 0 : half - 6);
    path.lineTo(x, half);
    if (numbered) ctx.fillText(String(bar), x + 3, 2);
  }
  ctx.strokeStyle = '#4d586e';
  ctx.stroke(beats);
  ctx.strokeStyle = '#8390a8';
  ctx.stroke(bars);
  ctx.fillStyle = '#5b6579';
  ctx.fillText('drag here to pan · above to seek', 6, half + 2);
}

// ---- the frame

export function drawView(dom, state, now) {
  const tl = state.timeline;
  if (!tl) return;
  if (dom.structure !== structureOf(state)) buildLanes(dom, state);
  const width = state.view.width;
  const viewKey = `${state.gen.view}|${width}`;
  // Sizes are read in one go before anything is drawn: a read after a canvas changed would make the
  // browser lay the page out again, once per lane. The lanes' heights are set just before (set
  // after, the canvases would be drawn at the heights the lanes had).
  const sizeKey = `${state.gen.layout}|${width}|${state.showWave}|${dom.structure}`;
  if (dom.sized !== sizeKey) {
    dom.waveRow.hidden = !state.showWave;
    for (const [name, entry] of dom.lanes) {
      const h = state.laneHeights.get(name);
      if (h) entry.lane.style.setProperty('--lane', `${h}px`); else entry.lane.style.removeProperty('--lane');
    }
    for (const entry of dom.lanes.values()) entry.height = entry.canvas.parentElement.clientHeight;
    dom.rulerHeight = dom.ruler.parentElement.clientHeight;
    dom.waveHeight = dom.wave.parentElement.clientHeight;
    dom.sized = sizeKey;
  }

  if (dom.appliedView !== viewKey) {
    // Handles follow zoom and pan through two variables on their common ancestor.
    dom.content.style.setProperty('--start', String(state.view.start));
    dom.content.style.setProperty('--ppr', String(state.view.pxPerRow));
    dom.appliedView = viewKey;
  }
  const rulerKey = `${viewKey}|${state.gen.transport}`;
  if (dom.rulerSignature !== rulerKey) {
    drawRuler(dom.ruler, state, width, dom.rulerHeight);
    dom.rulerSignature = rulerKey;
  }
  if (state.showWave) drawWaveform(dom.wave, state, width, dom.waveHeight);

  if (dom.appliedLayout !== state.gen.layout) {
    for (const [index, group] of state.groups.entries()) {
      const section = dom.groups.children[index];
      section.classList.toggle('collapsed', group.collapsed);
      section.firstChild.setAttribute('aria-expanded', String(!group.collapsed));
    }
    dom.appliedLayout = state.gen.layout;
  }

  if (dom.appliedModel !== state.gen.model) {
    dom.content.classList.toggle('readonly', !isEditable(state));
    dom.content.setAttribute('aria-readonly', String(!isEditable(state)));
    dom.appliedModel = state.gen.model;
    dom.handlesFor = null;
  }
  // Handles are built again only for a lane whose keys, value range or window changed. Two models
  // may come between two frames: what a lane's handles were built from is compared, not a flag.
  // The page's first frame has every lane draw its keys: their handles, hundreds of elements to
  // lay out, come with the frame after it, and the first picture does not wait for them.
  const first = !dom.firstDrawn;
  dom.firstDrawn = true;
  if (dom.handlesFor !== `${state.gen.model}|${viewKey}`) {
    for (const track of tl.tracks) {
      const entry = dom.lanes.get(track.name);
      const range = first ? FIRST_FRAME_RANGE : handleRange(entry.shown, track, state.view);
      const built = `${track.revision}|${range.first}|${range.end}|${range.drawn}|${track.lo}|${track.hi}`;
      entry.shown = range;
      if (entry.built === built) continue;
      buildHandles(entry, track, range.first, range.end);
      entry.built = built;
      dom.appliedSelection = null;   // new handles show the selection afresh
      dom.shownDrag = [];
    }
    dom.handlesFor = first ? 'the first frame' : `${state.gen.model}|${viewKey}`;
  }

  placeCursorHandle(dom, state);
  syncSelection(dom, state);
  const dragged = draggedKeys(state);
  syncDraggedHandles(dom, state, dragged);

  for (const track of tl.tracks) {
    const entry = dom.lanes.get(track.name);
    const group = state.groups.find((g) => g.tracks.includes(track.name));
    if (group && group.collapsed) continue;
    const inDrag = dragged && dragged.curves.has(track.name) ? state.gen.drag : -1;
    const cursor = state.cursor.track === track.name ? state.cursor.row : -1;
    const drawn = entry.shown.drawn ? `drawn ${selectedRows(dom, state).get(track.name) || ''}` : '';
    const signature = `${viewKey}|${track.revision}|${isEditable(state)}|${cursor}|${inDrag}|${entry.height}|${drawn}`;
    if (entry.signature === signature) continue;
    drawLane(entry, track, state, width, entry.height, dragged);
    entry.signature = signature;
  }

  drawPlayhead(dom, state, now);
  drawOverlays(dom, state);
}

// The selected rows of each track, as text: a lane that draws its keys is drawn again when its own
// change, not at every new model (which renews the selection's counter).
function selectedRows(dom, state) {
  if (dom.selectedFor === state.gen.selection) return dom.selectedRows;
  dom.selectedRows = new Map();
  for (const id of state.selection) {
    const at = id.lastIndexOf('@'), name = id.slice(0, at);
    dom.selectedRows.set(name, (dom.selectedRows.get(name) || '') + id.slice(at) + ' ');
  }
  dom.selectedFor = state.gen.selection;
  return dom.selectedRows;
}

// What shows selected is exactly the selection: the handles that show it are asked, not remembered,
// since a model change replaces some handles and keeps others.
function syncSelection(dom, state) {
  if (dom.appliedSelection === state.gen.selection) return;
  for (const handle of dom.groups.querySelectorAll('.key.selected')) {
    if (state.selection.has(keyId(handle.closest('.lane').dataset.track, Number(handle.dataset.row)))) continue;
    handle.classList.remove('selected');
    handle.setAttribute('aria-selected', 'false');
  }
  for (const id of state.selection) {
    const handle = handleOf(dom, id);
    if (handle) { handle.classList.add('selected'); handle.setAttribute('aria-selected', 'true'); }
  }
  dom.appliedSelection = state.gen.selection;
}

export function handleOf(dom, id) {
  const at = id.lastIndexOf('@');
  const entry = dom.lanes.get(id.slice(0, at));
  return entry ? entry.handles.get(Number(id.slice(at + 1))) : null;
}

function syncDraggedHandles(dom, state, dragged) {
  if (dom.appliedDrag === state.gen.drag) return;
  dom.appliedDrag = state.gen.drag;
  for (const { track, row } of dom.shownDrag || []) {
    const t = state.timeline.byName.get(track);
    const key = t.keys.find((k) => k.row === row);
    const handle = handleOf(dom, keyId(track, row));
    if (!key || !handle) continue;
    handle.style.setProperty('--r', String(key.row));
    handle.style.setProperty('--y', String((t.hi - key.value) / (t.hi - t.lo)));
  }
  dom.shownDrag = [];
  if (!dragged) return;
  for (const k of state.drag.keys) {
    const t = state.timeline.byName.get(k.track);
    const handle = handleOf(dom, keyId(k.track, k.row));
    if (!handle) continue;
    handle.style.setProperty('--r', String(k.newRow));
    handle.style.setProperty('--y', String((t.hi - k.newValue) / (t.hi - t.lo)));
    dom.shownDrag.push({ track: k.track, row: k.row });
  }
}

function drawPlayhead(dom, state, now) {
  const row = playheadRow(state, now);
  const x = Math.round(xOfRow(state, row) * 2) / 2;
  if (dom.playheadX !== x) {
    const visible = x >= 0 && x <= state.view.width;
    dom.playhead.style.transform = `translateX(${x}px)`;
    dom.playhead.style.visibility = visible ? 'visible' : 'hidden';
    dom.playhead.dataset.row = String(wholeRow(row));
    dom.playheadX = x;
  }
  const shown = wholeRow(row);
  if (dom.positionShown !== `${shown}|${state.transport.playing}|${state.transport.looping}`) {
    dom.position.textContent = `${formatRow(shown)} (row ${shown}) ${state.transport.playing ? 'playing' : 'paused'}`
      + (state.transport.looping ? ` · loop ${state.transport.loop.first_bar}–${state.transport.loop.last_bar}` : '');
    dom.positionShown = `${shown}|${state.transport.playing}|${state.transport.looping}`;
  }
}

function drawOverlays(dom, state) {
  const key = `${state.gen.view}|${state.gen.transport}|${state.view.width}`;
  if (dom.loopShown !== key) {
    const t = state.transport;
    dom.loop.hidden = !t.looping;
    if (t.looping) {
      const x0 = xOfRow(state, t.loop.first_bar * ROWS_PER_BAR);
      const x1 = xOfRow(state, (t.loop.last_bar + 1) * ROWS_PER_BAR);
      const a = Math.max(0, x0), b = Math.min(state.view.width, x1);
      dom.loop.style.transform = `translateX(${a}px)`;
      dom.loop.style.width = `${Math.max(0, b - a)}px`;
    }
    dom.loopShown = key;
  }
  if (dom.boxShown !== state.gen.drag) {
    const d = state.drag;
    dom.box.hidden = !(d && d.kind === 'box');
    if (d && d.kind === 'box') {
      Object.assign(dom.box.style, { left: `${Math.min(d.x0, d.x1)}px`, top: `${Math.min(d.y0, d.y1)}px`,
        width: `${Math.abs(d.x1 - d.x0)}px`, height: `${Math.abs(d.y1 - d.y0)}px` });
    }
    dom.boxShown = state.gen.drag;
  }
  if (dom.hoverShown !== state.gen.hover) {
    const h = state.hover;
    dom.tooltip.hidden = !h;
    if (h) {
      dom.tooltip.textContent = `${h.track} · row ${h.row} · ${formatRow(h.row)} · ${formatValue(h.value)}`;
      dom.tooltip.style.transform = `translate(${h.x + 14}px, ${h.y + 14}px)`;
    }
    dom.hoverShown = state.gen.hover;
  }
}
