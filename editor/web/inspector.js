// The inspector: the selected key (or the key under the cursor) with its row, value and
// interpolation typed exactly. Rows may be typed as plain rows or as BAR:BEAT[:ROW]. With no key
// there, the same form adds one at the typed row. With several keys selected, only the
// interpolation applies to all of them. Fields the person is typing in are never overwritten.

import {
  INTERPOLATIONS, findKey, formatRow, formatValue, interpolationAt, parseRow, parseValue, say, splitKeyId,
  isEditable,
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
  const fill = (field, text) => { if (!typed.has(field) && document.activeElement !== field) field.value = text; };

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
    fill(f.value, formatValue(key ? key.value : track.samples[row]));
    f.interp.value = key ? key.interp : interpolationAt(track.keys, row);
    f.apply.textContent = key ? 'Apply' : 'Add key';
    f.remove.disabled = !editable || !key;
    f.note.textContent = key ? `row ${key.row}` : `Add key puts one at the row typed, with this value.`;
  }

  function applyAll() {
    if (!target) return;
    if (target.many) {
      const ops = [];
      for (const { track, row } of target.many) {
        const key = findKey(state.timeline.byName.get(track), row);
        if (key) ops.push({ op: 'set', track, row, value: key.value, interp: f.interp.value });
      }
      return app.edit(ops, `${ops.length} keys are now ${f.interp.value}`);
    }
    const row = parseRow(f.row.value);
    const value = parseValue(f.value.value);
    if (row === null || row >= state.timeline.rows) return say(state, `row "${f.row.value}" is not a row of the music (e.g. 12:2 or 400)`, 'error');
    if (value === null) return say(state, `value "${f.value.value}" is not a number`, 'error');
    const { track, key } = target;
    const ops = [];
    if (key && row !== key.row) ops.push({ op: 'move', track: track.name, from: key.row, to: row });
    ops.push({ op: 'set', track: track.name, row, value, interp: f.interp.value });
    // The cursor goes to the key first: a key pressed before the answer arrives acts on it.
    state.selection.clear();
    state.cursor = { track: track.name, row };
    state.gen.selection++;
    state.gen.cursor++;
    return app.edit(ops, `${track.name} at ${formatRow(row)}: ${formatValue(value)}, ${f.interp.value}`);
  }

  form.addEventListener('submit', (e) => {
    e.preventDefault();
    typed.clear();
    applyAll();
  });
  f.interp.addEventListener('change', () => {
    if (target && (target.many || target.key)) applyAll();
  });
  f.remove.addEventListener('click', () => {
    if (!target) return;
    const keys = target.many || (target.key ? [{ track: target.track.name, row: target.key.row }] : []);
    app.edit(keys.map((k) => ({ op: 'delete', track: k.track, row: k.row })), `${keys.length} key(s) deleted`).then((ok) => {
      if (ok) { state.selection.clear(); state.gen.selection++; }
    });
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
