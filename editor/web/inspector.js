// The inspector: the selected key (or the key under the cursor) with its row, value and
// interpolation typed exactly. Rows may be typed as plain rows or as BAR:BEAT[:ROW]. With no key
// there, the same form adds one at the typed row. With several keys selected, only the
// interpolation applies to all of them. Fields the person is typing in are never overwritten.
// Values show as the shortest text that reads back as the key's single-precision value, and Apply
// sends only what was edited: a key whose interpolation alone changed keeps its exact value.

import {
  INTERPOLATIONS, findKey, floatText, formatRow, formatValue, interpolationAt, parseRow, parseValue, say,
  splitKeyId, targetKeys, isEditable,
} from './model.js';

export function createInspector(app, form) {
  const { state } = app;
  const f = {
    title: form.querySelector('#inspector-title'),
    row: form.querySelector('#inspector-row'),
    value: form.querySelector('#inspector-value'),
    interp: form.querySelector('#inspector-interp'),
    apply: form.querySelector('#inspector-apply'),
    remove: form.querySelector('#inspector-delete'),
    note: form.querySelector('#inspector-note'),
  };
  for (const name of INTERPOLATIONS) f.interp.add(new Option(name, name));
  let shown = '';
  let identity = '';
  let target = null;   // {track, key|null, row, many}
  const typed = new Set();   // fields changed by hand since they were last filled in
  for (const field of [f.row, f.value]) {
    field.addEventListener('input', () => typed.add(field));
  }
  // A field being typed into keeps its text: the model may change under it (a reload, a report).
  // One merely focused follows the model: Enter right after a typed value shows that value.
  const fill = (field, text) => { if (!typed.has(field)) field.value = text; };

  function current() {
    const tl = state.timeline;
    if (state.selection.size > 1) return { many: [...state.selection].map(splitKeyId) };
    const { track, row } = state.selection.size === 1 ? splitKeyId([...state.selection][0]) : state.cursor;
    const t = tl.byName.get(track);
    if (!t) return null;
    return { track: t, row, key: findKey(t, row) };
  }

  function sync() {
    if (!state.timeline) return;
    const signature = `${state.gen.model}|${state.gen.selection}|${state.gen.cursor}|${isEditable(state)}`;
    if (signature === shown) return;
    shown = signature;
    target = current();
    // What was typed belongs to the key it was typed for; another key gets fresh fields.
    const now = !target ? '' : target.many ? 'many' : `${target.track.name}@${target.key ? target.key.row : target.row}`;
    if (now !== identity) typed.clear();
    identity = now;
    const editable = isEditable(state);
    for (const el of [f.row, f.value, f.interp, f.apply, f.remove]) el.disabled = !editable;
    form.setAttribute('aria-disabled', String(!editable));
    if (!target) return;
    if (target.many) {
      f.title.textContent = `${target.many.length} keys selected`;
      f.row.value = '';
      f.value.value = '';
      f.row.disabled = f.value.disabled = true;
      f.note.textContent = 'The interpolation and Delete apply to all of them.';
      return;
    }
    const { track, row, key } = target;
    f.title.textContent = key ? `${track.name} key` : `${track.name}: no key`;
    fill(f.row, formatRow(key ? key.row : row));
    fill(f.value, floatText(key ? key.value : track.samples[row]));
    f.interp.value = key ? key.interp : interpolationAt(track.keys, row);
    f.apply.textContent = key ? 'Apply' : 'Add key';
    f.remove.disabled = !editable || !key;
    f.note.textContent = key ? `row ${key.row}` : `Add key puts one at the row typed, with this value.`;
  }

  // What Apply means is read from the form now; the ops are made from the model when its turn comes.
  function applyAll(edited) {
    if (!target) return;
    const interp = f.interp.value;
    if (target.many) {
      const ids = target.many.map(({ track, row }) => `${track}@${row}`);
      return app.act(`${ids.length} keys are now ${interp}`, (s) => targetKeys(s, ids)
        .map((k) => ({ op: 'set', track: k.track, row: k.row, value: k.value, interp })));
    }
    const { track: { name }, key } = target;
    const row = edited.has(f.row) ? parseRow(f.row.value) : key ? key.row : target.row;
    const value = edited.has(f.value) ? parseValue(f.value.value) : null;
    if (row === null || row >= state.timeline.rows) return say(state, `row "${f.row.value}" is not a row of the music (e.g. 12:2 or 400)`, 'error');
    if (edited.has(f.value) && value === null) return say(state, `value "${f.value.value}" is not a number`, 'error');
    // The cursor goes to the key first: a key pressed next acts on it.
    state.selection.clear();
    state.cursor = { track: name, row };
    state.gen.selection++;
    state.gen.cursor++;
    const from = key ? key.row : null;
    const shown = target.track.samples[target.row];   // what the value field shows where there is no key
    return app.act((ops) => `${name} at ${formatRow(row)}: ${formatValue(ops[ops.length - 1].value)}, ${interp}`, (s) => {
      const track = s.timeline.byName.get(name);
      const now = from === null ? null : findKey(track, from);
      if (from !== null && !now) return say(s, `${name} has no key at ${formatRow(from)} any more`, 'warn');
      const ops = [];
      if (now && row !== now.row) ops.push({ op: 'move', track: name, from: now.row, to: row });
      // A value nobody typed stays exactly what it was.
      const kept = now ? now.value : shown;
      ops.push({ op: 'set', track: name, row, value: value === null ? kept : value, interp });
      return ops;
    });
  }

  form.addEventListener('submit', (e) => {
    e.preventDefault();
    const edited = new Set(typed);
    typed.clear();
    applyAll(edited);
  });
  f.interp.addEventListener('change', () => {
    if (target && (target.many || target.key)) applyAll(new Set(typed));
  });
  f.remove.addEventListener('click', () => {
    if (!target) return;
    const ids = target.many ? target.many.map(({ track, row }) => `${track}@${row}`)
      : target.key ? [`${target.track.name}@${target.key.row}`] : [];
    state.selection.clear();
    state.gen.selection++;
    app.act((ops) => `${ops.length} key(s) deleted`, (s) => targetKeys(s, ids).map((k) => ({ op: 'delete', track: k.track, row: k.row })));
  });
  form.addEventListener('keydown', (e) => {
    if (e.key === 'Escape') {
      typed.clear();
      shown = '';
      app.focusTimeline();
    }
  });

  return { sync, focus: () => (f.value.disabled ? f.interp : f.value).focus() };
}
