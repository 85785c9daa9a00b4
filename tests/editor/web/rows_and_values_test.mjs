// The page's pure functions that turn positions and values into what it shows, sends and seeks.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { floatText, formatRow, wholeRow } from '../../../editor/web/model.js';
import { stepTarget } from '../../../editor/web/transport.js';

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
