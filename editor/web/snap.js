// Snapping: where a dragged key, the cursor or the play head lands near a row. The mode is one of
// SNAP_MODES, cycled by a key and shown in the status bar: off, whole rows, beats, bars, the rows
// of other keys, or the music's onsets. Keys and onsets pull only within SNAP_RADIUS_PX of the
// pointer; farther off, the row is whole (or, for the play head with snapping off, left as it is).
// Pure functions over plain arrays; the page keeps what it last snapped to for drawing.

import { ROWS_PER_BAR, ROWS_PER_BEAT, formatRow, keyId } from './model.js';

export const SNAP_MODES = ['off', 'rows', 'beats', 'bars', 'keys', 'onsets'];
export const SNAP_RADIUS_PX = 8;

export function nextSnapMode(mode) {
  return SNAP_MODES[(SNAP_MODES.indexOf(mode) + 1) % SNAP_MODES.length];
}

// The entry of a sorted array nearest to x (entries are numbers, or objects with a row), or null.
export function nearest(sorted, x, rowOf = (v) => v) {
  let lo = 0, hi = sorted.length;
  while (lo < hi) {
    const mid = (lo + hi) >> 1;
    if (rowOf(sorted[mid]) < x) lo = mid + 1; else hi = mid;
  }
  const candidates = [sorted[lo - 1], sorted[lo]].filter((v) => v !== undefined);
  if (!candidates.length) return null;
  return candidates.reduce((a, b) => (Math.abs(rowOf(b) - x) < Math.abs(rowOf(a) - x) ? b : a));
}

// {row, name}: the row a position snaps to and what it snapped to (null when nothing pulled it).
// how: {mode, pxPerRow, whole (a key or the cursor: whole rows only), rows (the music's length),
// keys (sorted [{row, track}] that may pull), onsets (sorted rows)}.
export function snapRow(row, how) {
  const last = Math.max(0, how.rows - 1);
  const clamp = (r) => Math.max(0, Math.min(last, r));
  const plain = clamp(how.whole || how.mode !== 'off' ? Math.round(row) : row);
  const grid = (unit, kind) => {
    const r = clamp(Math.round(row / unit) * unit);
    return { row: r, name: kind === 'bar' ? `bar ${r / ROWS_PER_BAR}` : `${kind} ${formatRow(r)}` };
  };
  const radius = SNAP_RADIUS_PX / how.pxPerRow;
  switch (how.mode) {
    case 'rows': return { row: plain, name: `row ${formatRow(plain)}` };
    case 'beats': return grid(ROWS_PER_BEAT, 'beat');
    case 'bars': return grid(ROWS_PER_BAR, 'bar');
    case 'keys': {
      const key = nearest(how.keys || [], row, (k) => k.row);
      if (key && Math.abs(key.row - row) <= radius) return { row: clamp(key.row), name: `key of ${key.track} at ${formatRow(key.row)}` };
      break;
    }
    case 'onsets': {
      const onset = nearest(how.onsets || [], row);
      if (onset !== null && Math.abs(onset - row) <= radius) {
        const r = clamp(how.whole ? Math.round(onset) : onset);
        return { row: r, name: `onset at ${formatRow(r)}` };
      }
      break;
    }
    default: break;
  }
  return { row: plain, name: null };
}

// The keys that may pull a drag: every key of the lanes shown but those being dragged.
export function pullingKeys(state, dragged) {
  const moving = new Set((dragged || []).map((k) => keyId(k.track, k.row)));
  const out = [];
  for (const t of state.timeline.tracks) {
    for (const k of t.keys) if (!moving.has(keyId(t.name, k.row))) out.push({ row: k.row, track: t.name });
  }
  return out.sort((a, b) => a.row - b.row);
}
