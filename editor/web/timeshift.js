// Inserting or removing time at a row across every track: every key at or after the row moves
// later by the length, or, removing, the keys inside the removed span are deleted and every key
// after it moves earlier. Nothing is ever pushed past the music's end: such a plan is refused.

import { formatRow, parseRow } from './model.js';
import { orderMoves } from './stretch.js';

// A length as "BAR:BEAT[:ROW]" (1:0 is a bar, 0:1 a beat) or as rows -> rows above zero, or null.
export function parseLength(text) {
  const rows = parseRow(text);
  return rows && rows > 0 ? rows : null;
}

function everyKey(timeline) {
  const out = [];
  for (const t of timeline.tracks) for (const k of t.keys) out.push({ track: t.name, row: k.row });
  return out;
}

// {ops, moved} or {error}.
export function insertTimePlan(timeline, at, length) {
  if (at >= timeline.rows) return { error: `${formatRow(at)} is past the music's end` };
  const later = everyKey(timeline).filter((k) => k.row >= at);
  const last = later.reduce((a, k) => (k.row > a.row ? k : a), { row: -1 });
  if (last.row + length >= timeline.rows) {
    return { error: `inserting ${formatRow(length)} at ${formatRow(at)} would push ${last.track}'s key at ${formatRow(last.row)} past the music's end; nothing was changed` };
  }
  const ops = orderMoves(later.map((k) => ({ track: k.track, from: k.row, to: k.row + length })));
  return { ops, moved: later.length };
}

// {ops, deleted, moved} or {error}.
export function removeTimePlan(timeline, at, length) {
  if (at + length > timeline.rows) {
    return { error: `removing ${formatRow(length)} at ${formatRow(at)} reaches past the music's end; nothing was changed` };
  }
  const keys = everyKey(timeline);
  const inside = keys.filter((k) => k.row >= at && k.row < at + length);
  const after = keys.filter((k) => k.row >= at + length);
  const ops = inside.map((k) => ({ op: 'delete', track: k.track, row: k.row }))
    .concat(orderMoves(after.map((k) => ({ track: k.track, from: k.row, to: k.row - length }))));
  return { ops, deleted: inside.length, moved: after.length };
}
