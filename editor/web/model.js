// The page's whole state in one record, and the plain functions that read the music clock and the
// timeline. Rows are music positions (8 a beat, 4 beats a bar, 1024 rows a minute); a key is a
// (row, value, interpolation) of one track. The timeline shown is the server's, with the page's own
// edits that the server has not answered yet applied on top (edits.js); input changes this record,
// drawing only reads it.

export const ROWS_PER_BEAT = 8;
export const BEATS_PER_BAR = 4;
export const ROWS_PER_BAR = ROWS_PER_BEAT * BEATS_PER_BAR;
export const ROWS_PER_SECOND = 1024 / 60;
export const INTERPOLATIONS = ['hold', 'linear', 'smooth', 'ramp'];
// A seek lands on the nearest sample frame, a few ten-thousandths of a row off the whole row: the
// demo's own position readout floors row + 0.001, and so does every whole row on the page.
export const ROW_TOLERANCE = 0.001;

export function createState(token) {
  return {
    token,
    timeline: null,          // {version, rows, load, editable, tracks: [...], byName: Map}
    groups: [],              // [{title, comment, tracks: [names], collapsed}]
    wave: null,              // {rowsPerBucket, min, max}
    showWave: true,
    view: { start: 0, pxPerRow: 1, width: 0, fitted: false },   // fitted: the whole music, after resizes too
    cursor: { track: '', row: 0 },
    selection: new Set(),    // keys as "track@row"
    transport: { row: 0, playing: false, looping: false, loop: { first_bar: 0, last_bar: 0 },
      scene: '', fps: 0, at: 0, version: null, load: null },
    marks: { first: null, last: null },
    connection: 'connecting',
    entry: '',               // a number being typed at the cursor
    drag: null,              // what the mouse is doing: keys, box, scrub or pan
    hover: null,             // {track, row, value, x, y}
    clipboard: [],
    message: { text: '', kind: 'info' },
    snap: 'rows',            // what drags, the cursor and the play head snap to (snap.js)
    snapShown: null,         // {row, name}: what the drag in progress snapped to
    laneHeights: new Map(),  // track -> px, for lanes made taller than the style sheet's
    focus: null,             // the focused view: {tracks: [names], lo, hi}
    // Counters that drawing compares against what it last drew, so it redraws only what changed.
    gen: { model: 0, view: 0, transport: 0, selection: 0, cursor: 0, drag: 0, hover: 0, message: 0, layout: 0,
      snap: 0, focus: 0 },
  };
}

// The whole music across the lanes' width (the `f` key, the first model, a fitted view resized).
export function fitAll(state) {
  const rows = state.timeline ? state.timeline.rows : 1;
  state.view.pxPerRow = state.view.width / rows;
  state.view.start = 0;
  state.view.fitted = true;
  state.gen.view++;
}

// Edits are allowed while the model is editable and the demo's last load, as the stream reports
// it, was good: a mistake makes the page read-only at once, before its model is fetched again.
export function isEditable(state) {
  const tl = state.timeline, load = state.transport.load;
  return !!tl && tl.editable && !(load && load.ok === false);
}

export function keyId(track, row) {
  return track + '@' + row;
}

export function splitKeyId(id) {
  const at = id.lastIndexOf('@');
  return { track: id.slice(0, at), row: Number(id.slice(at + 1)) };
}

// The whole row a position stands for: the row shown, the row `k` puts a key at, the row a click
// seeks to. 385.55 -> 385, 383.9996 -> 384.
export function wholeRow(row) {
  return Math.floor(row + ROW_TOLERANCE);
}

// 404 -> "12:2:4": bars and beats counted from 0, as the timeline file writes them.
export function formatRow(row) {
  const r = wholeRow(row);
  const bar = Math.floor(r / ROWS_PER_BAR);
  const beat = Math.floor((r % ROWS_PER_BAR) / ROWS_PER_BEAT);
  return `${bar}:${beat}:${r % ROWS_PER_BEAT}`;
}

// "400", "12:2" and "12:2:4" -> a whole row, or null. Beats above 3 and rows above 7 are refused
// rather than carried over, as the timeline file does.
export function parseRow(text) {
  const m = /^\s*(\d+)(?::([0-3])(?::([0-7]))?)?\s*$/.exec(text);
  if (!m) return null;
  if (m[2] === undefined) return Number(m[1]);
  return Number(m[1]) * ROWS_PER_BAR + Number(m[2]) * ROWS_PER_BEAT + Number(m[3] || 0);
}

export function parseValue(text) {
  if (!/^\s*[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?\s*$/.test(text)) return null;
  const v = Number(text);
  return Number.isFinite(v) ? v : null;
}

export function formatValue(v) {
  return String(Number(v.toPrecision(6)));
}

// The shortest text that reads back as the same single-precision value, the precision a key holds:
// 0.33333334, 12345.678, 1.0000001, 0.1. Nine digits always read back.
export function floatText(v) {
  const f = Math.fround(v);
  for (let digits = 1; digits < 9; digits++) {
    const text = String(Number(f.toPrecision(digits)));
    if (Math.fround(Number(text)) === f) return text;
  }
  return String(Number(f.toPrecision(9)));
}

// The value a track has at a row, for keys being dragged before the server has them; the same rule
// as the demo's evaluation: the key at or before the row decides, hold stays, the others blend.
export function trackValue(keys, row) {
  if (keys.length === 0) return 0;
  const r = Math.floor(row);
  let lo = 0, hi = keys.length;
  while (lo < hi) {
    const mid = (lo + hi) >> 1;
    if (keys[mid].row <= r) lo = mid + 1; else hi = mid;
  }
  const i = lo - 1;
  if (i < 0) return keys[0].value;
  if (i >= keys.length - 1) return keys[keys.length - 1].value;
  const k = keys[i], n = keys[i + 1];
  if (k.interp === 'hold') return k.value;
  const t = (row - k.row) / (n.row - k.row);
  const s = k.interp === 'smooth' ? (3 - 2 * t) * t * t : k.interp === 'ramp' ? t * t : t;
  return k.value + s * (n.value - k.value);
}

// Index of the key at or before a row, -1 when the row is before every key.
export function keyBefore(keys, row) {
  let lo = 0, hi = keys.length;
  while (lo < hi) {
    const mid = (lo + hi) >> 1;
    if (keys[mid].row <= row) lo = mid + 1; else hi = mid;
  }
  return lo - 1;
}

// The interpolation a new key at a row takes: that of the key it lands after, so a key inserted on
// a curve keeps the curve's kind.
export function interpolationAt(keys, row) {
  const i = keyBefore(keys, row);
  if (i >= 0) return keys[i].interp;
  return keys.length ? keys[0].interp : 'linear';
}

// Lanes that show a step instead of a slope from a row to the next: under a hold key, and before
// the first and after the last key where the value stays.
function stepRows(keys, rows) {
  const steps = new Uint8Array(rows + 1).fill(1);
  for (let i = 0; i + 1 < keys.length; i++) {
    if (keys[i].interp === 'hold') continue;
    steps.fill(0, Math.max(0, keys[i].row), Math.min(rows + 1, keys[i + 1].row));
  }
  return steps;
}

export function fitRange(samples, keys) {
  let lo = Infinity, hi = -Infinity;
  for (const v of samples) { if (v < lo) lo = v; if (v > hi) hi = v; }
  for (const k of keys) { if (k.value < lo) lo = k.value; if (k.value > hi) hi = k.value; }
  if (!Number.isFinite(lo)) return { lo: -1, hi: 1 };
  if (hi - lo < 1e-9) return { lo: lo - 0.5, hi: hi + 0.5 };
  return { lo, hi };
}

const GROUP_BY_PREFIX = [
  ['scene', 'scene'], ['clear.', 'clear'], ['fade.', 'fade'], ['cam.look', 'look-at'], ['cam.', 'camera'],
  ['scp.', 'scene parameters'], ['fog', 'fog'], ['text.', 'text'],
];

function groupName(track) {
  const hit = GROUP_BY_PREFIX.find(([prefix]) => track === prefix || track.startsWith(prefix));
  return hit ? hit[1] : 'other';
}

// Lanes are grouped by the file's sections when the server names them, else by the tracks' names.
export function groupTracks(json) {
  const groups = [];
  const add = (key, track, comment) => {
    let g = groups.find((x) => x.key === key);
    if (!g) groups.push(g = { key, title: '', comment: comment || '', tracks: [], collapsed: false });
    g.tracks.push(track.name);
  };
  const sections = Array.isArray(json.sections) ? json.sections : [];
  for (const t of json.tracks) {
    if (Number.isInteger(t.section)) add('s' + t.section, t, sections[t.section] && sections[t.section].comment);
    else add('n' + groupName(t.name), t, '');
  }
  for (const g of groups) g.title = [...new Set(g.tracks.map(groupName))].join(', ');
  // Two sections of one kind (the fade's colour and its opacity) are told apart by their tracks.
  for (const g of groups) {
    if (groups.filter((x) => x.title === g.title).length > 1) g.dupe = true;
  }
  for (const g of groups) if (g.dupe) g.title = g.tracks.join(' ');
  return groups;
}

let nextRevision = 1;

// One lane's data. A lane whose keys stayed keeps its revision and is not drawn again: the samples
// follow from the keys alone.
export function makeTrack(name, section, keys, samples, before) {
  if (before && before.keys === keys && before.samples === samples) return { ...before, section, changed: false };
  const range = fitRange(samples, keys);
  const keysSignature = JSON.stringify(keys);
  const same = !!before && before.keysSignature === keysSignature && before.samples.length === samples.length;
  return { name, section, keys, samples, lo: range.lo, hi: range.hi, steps: stepRows(keys, samples.length),
    keysSignature, changed: !same, revision: same ? before.revision : nextRevision++ };
}

// A model from the server's answer; `old` is the model shown until now. An answer that sends only
// what changed since a version takes the other tracks from `base`, the server's model of that
// version; null when `base` is not that version.
export function modelFromJson(json, old, base = null) {
  if (json.since !== undefined && (!base || base.version !== json.since)) return null;
  const tracks = json.tracks.map((t) => {
    const before = old && old.byName.get(t.name);
    if (!t.same) {
      return makeTrack(t.name, t.section, t.keys.map((k) => ({ row: k.row, value: k.value, interp: k.interp })),
        Float64Array.from(t.samples), before);
    }
    const kept = base.byName.get(t.name);
    return makeTrack(t.name, t.section, kept.keys, kept.samples, before && before.keys === kept.keys ? before : kept);
  });
  const loadOk = !!(json.load && json.load.ok);
  return { version: json.version, rows: json.rows, load: json.load || { ok: false, message: '' },
    editable: loadOk && json.editable !== false, tracks, byName: new Map(tracks.map((t) => [t.name, t])) };
}

// Shows a model: the server's (with its answer `json`, which also says the sections) or the page's
// own. Selection, cursor and folded sections survive where their tracks and keys still exist.
export function installModel(state, model, json) {
  const old = state.timeline;
  state.timeline = model;
  if (json) {
    const collapsed = new Set(state.groups.filter((g) => g.collapsed).map((g) => g.title));
    state.groups = groupTracks(json);
    for (const g of state.groups) g.collapsed = collapsed.has(g.title);
  }
  const exists = (id) => {
    const { track, row } = splitKeyId(id);
    const t = model.byName.get(track);
    return t && t.keys.some((k) => k.row === row);
  };
  state.selection = new Set([...state.selection].filter(exists));
  if (!model.byName.has(state.cursor.track)) state.cursor.track = model.tracks.length ? model.tracks[0].name : '';
  state.cursor.row = Math.min(state.cursor.row, Math.max(0, model.rows - 1));
  keepCursorShown(state);
  state.gen.model++;
  state.gen.selection++;
  state.gen.cursor++;
  state.gen.message++;
  if (!old || old.rows !== model.rows) {
    state.gen.view++;
    state.gen.layout++;
  }
}

// The cursor never rests on a folded lane, and the selection holds no key of one: what the keys act
// on is always in sight. A cursor on a folded lane goes to the next lane shown, else the last one
// before it.
export function keepCursorShown(state) {
  const shown = new Set(visibleTracks(state));
  const hidden = (id) => !shown.has(splitKeyId(id).track);
  if ([...state.selection].some(hidden)) {
    state.selection = new Set([...state.selection].filter((id) => !hidden(id)));
    state.gen.selection++;
  }
  if (shown.has(state.cursor.track) || shown.size === 0) return;
  const order = state.groups.flatMap((g) => g.tracks);
  const at = order.indexOf(state.cursor.track);
  state.cursor.track = order.slice(at + 1).find((n) => shown.has(n)) || order.slice(0, at).reverse().find((n) => shown.has(n));
  state.gen.cursor++;
}

export function visibleTracks(state) {
  const out = [];
  for (const g of state.groups) if (!g.collapsed) out.push(...g.tracks);
  return out;
}

export function findKey(track, row) {
  return track ? track.keys.find((k) => k.row === row) || null : null;
}

// What the keyboard acts on, as "track@row": the selection, or the key under the cursor.
export function targetIds(state) {
  return state.selection.size ? [...state.selection] : [keyId(state.cursor.track, state.cursor.row)];
}

// The keys of those that the model has, never a folded lane's.
export function targetKeys(state, ids = targetIds(state)) {
  const shown = new Set(visibleTracks(state));
  const out = [];
  for (const id of ids) {
    const { track, row } = splitKeyId(id);
    if (!shown.has(track)) continue;
    const key = findKey(state.timeline.byName.get(track), row);
    if (key) out.push({ track, ...key });
  }
  return out;
}

export function say(state, text, kind = 'info') {
  state.message = { text, kind };
  state.gen.message++;
}
