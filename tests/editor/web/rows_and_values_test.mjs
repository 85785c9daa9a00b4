// The page's pure functions that turn positions and values into what it shows, sends and seeks.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { floatText, formatRow, wholeRow } from '../../../editor/web/model.js';
import { stepTarget } from '../../../editor/web/transport.js';
import { handleRange } from '../../../editor/web/lanes.js';

test('a position is one whole row (a few ten-thousandths under counts as on it); a value, the shortest text of its float', () => {
  for (const [row, whole, shown] of [[385.55, 385, '12:0:1'], [383.9996, 384, '12:0:0'], [383.998, 383, '11:3:7'],
    [-0.0004, 0, '0:0:0'], [31.9999, 32, '1:0:0']]) assert.deepEqual([wholeRow(row), formatRow(row)], [whole, shown], `row ${row}`);
  for (const [value, text] of [[0.33333334, '0.33333334'], [12345.678, '12345.678'], [1.0000001, '1.0000001'],
    [Math.fround(0.1), '0.1'], [-2.5, '-2.5'], [0, '0'], [1e-7, '1e-7'], [3e38, '3e+38']]) assert.equal(floatText(value), text);
});

test('a step lands as the demo window steps: back to the start playing, again within a beat one further', () => {
  // Row, step (+/-8 a beat, +/-32 a bar), where the last step back landed (null: none), where it lands.
  for (const [row, rows, last, lands] of [[96.5, -32, null, 96], [96.0, -32, null, 64], [95.9995, -32, null, 64], [0.3, -32, null, 0],
    [96.3, -32, 96, 64], [103.9, -32, 96, 64], [104.0, -32, 96, 96], [140.0, -32, 96, 128], [12.2, -8, 8, 0], [3.0, -8, 0, 0],
    [17.0, -8, 16, 8], [95.0, -32, 96, 64], [95.9995, 32, null, 128], [100.0, 8, null, 104]]) assert.equal(stepTarget(row, rows, last), lands, `${row} ${rows} ${last}`);
});

test('a lane has a handle for each of few keys, for many only near the view, and none where those crowd', () => {
  const keys = (n, every) => Array.from({ length: n }, (_, i) => ({ row: i * every, value: 0, interp: 'linear' }));
  const few = keys(256, 4), many = keys(500, 2);
  // Keys, view (start, px per row, width), the keys that get handles, or 'drawn' for none.
  for (const [track, start, ppr, width, shown] of [[few, 0, 1, 1000, [0, 256]], [many, 0, 1, 1000, 'drawn'],
    [many, 0, 8, 1000, 'drawn'], [many, 0, 16, 1000, [0, 47]], [many, 500, 16, 1000, [235, 297]], [many, 990, 16, 1000, [480, 500]]]) {
    const r = handleRange(null, { keys: track }, { start, pxPerRow: ppr, width });
    assert.deepEqual(r.drawn ? 'drawn' : [r.first, r.end], shown, `${track.length} keys from row ${start} at ${ppr} px a row`);
  }
  const kept = handleRange(null, { keys: many }, { start: 500, pxPerRow: 16, width: 1000 });
  assert.equal(handleRange(kept, { keys: many }, { start: 520, pxPerRow: 32, width: 1000 }), kept, 'a pan or a zoom in keeps them');
  assert.notEqual(handleRange(kept, { keys: many }, { start: 540, pxPerRow: 16, width: 1000 }), kept, 'leaving them does not');
  assert.notEqual(handleRange(kept, { keys: [...many] }, { start: 520, pxPerRow: 32, width: 1000 }), kept, 'new keys do not');
});
