// Stretching or compressing keys in time around a fixed row (the cursor or the play head): each
// key's distance from the pivot is multiplied by a factor and its row rounded to a whole row. A
// plan that would put two keys of a track on one row, a key on another key of its track that is
// not stretched, or a key outside the music is refused whole, naming the first such key.

import { formatRow } from './model.js';

// "2", "0.5", "3/4" -> a factor above zero, or null.
export function parseFactor(text) {
  const m = /^\s*(\d+\.?\d*|\.\d+)\s*(?:\/\s*(\d+\.?\d*|\.\d+)\s*)?$/.exec(text);
  if (!m) return null;
  const f = Number(m[1]) / (m[2] === undefined ? 1 : Number(m[2]));
  return Number.isFinite(f) && f > 0 ? f : null;
}

// Move ops in an order where no key moves onto one still to move: per track, the keys moving
// later go first, the last of them first, then the keys moving earlier, the first of them first.
// That holds for any plan that keeps the keys' order, as stretching and shifting time do.
export function orderMoves(moves) {
  const later = moves.filter((m) => m.to > m.from).sort((a, b) => b.from - a.from);
  const earlier = moves.filter((m) => m.to < m.from).sort((a, b) => a.from - b.from);
  return later.concat(earlier).map((m) => ({ op: 'move', track: m.track, from: m.from, to: m.to }));
}

export function stretchedRow(row, pivot, factor) {
  return Math.round(pivot + (row - pivot) * factor);
}

// {ops, moved} or {error}. keys: [{track, row}] of timeline, the keys to stretch.
export function stretchPlan(timeline, keys, pivot, factor) {
  if (!keys.length) return { error: 'nothing to stretch: select keys first' };
  const moves = [];
  const landing = new Map();   // "track@row" -> the key that lands there
  const stretched = new Set(keys.map((k) => k.track + '@' + k.row));
  for (const k of [...keys].sort((a, b) => a.row - b.row)) {
    const to = stretchedRow(k.row, pivot, factor);
    const name = `${k.track}'s key at ${formatRow(k.row)}`;
    if (to < 0 || to >= timeline.rows) return { error: `${name} would land outside the music (row ${to}); nothing was changed` };
    const other = landing.get(k.track + '@' + to);
    if (other) return { error: `${k.track}'s keys at ${formatRow(other.row)} and ${formatRow(k.row)} would land on one row (${formatRow(to)}); nothing was changed` };
    landing.set(k.track + '@' + to, k);
    const track = timeline.byName.get(k.track);
    if (!stretched.has(k.track + '@' + to) && track.keys.some((x) => x.row === to)) {
      return { error: `${name} would land on its key at ${formatRow(to)}, which is not selected; nothing was changed` };
    }
    if (to !== k.row) moves.push({ track: k.track, from: k.row, to });
  }
  return { ops: orderMoves(moves), moved: moves.length };
}
