// Playback as the demo reports it, and the commands that steer it: play and pause, seek and
// scrub, steps by beats and bars, loop marks. The position between two reports is carried
// forward on the page's clock so the play head glides; the next report corrects it.

import { ROWS_PER_BAR, ROWS_PER_BEAT, ROWS_PER_SECOND, ROW_TOLERANCE, say } from './model.js';

export function playheadRow(state, now) {
  const t = state.transport;
  if (!t.playing) return t.row;
  let row = t.row + ((now - t.at) * ROWS_PER_SECOND) / 1000;
  if (t.looping) {
    const first = t.loop.first_bar * ROWS_PER_BAR;
    const end = (t.loop.last_bar + 1) * ROWS_PER_BAR;
    if (row >= end && end > first) row = first + ((row - first) % (end - first));
  }
  const rows = state.timeline ? state.timeline.rows : Infinity;
  return Math.min(row, rows);
}

// Where a step of `rows` (negative: back) from `row` lands, as the demo window's keys step: on the
// grid of the step's size, a row within the tolerance of a multiple counting as on it. A step back
// goes to the start of the bar (beat) playing; taken again before the music has played a beat past
// where the last step back landed (`lastLanding`, null when something else moved the play head
// since), it goes one further back, from that start.
export function stepTarget(row, rows, lastLanding) {
  const unit = Math.abs(rows);
  if (rows > 0) return (Math.floor((row + ROW_TOLERANCE) / unit) + 1) * unit;
  const from = lastLanding !== null && row > lastLanding - ROW_TOLERANCE && row < lastLanding + ROWS_PER_BEAT
    ? lastLanding : row;
  return Math.max(0, (Math.ceil((from - ROW_TOLERANCE) / unit) - 1) * unit);
}

// Takes one state report from the event stream; answers whether the timeline must be fetched again.
export function takeReport(state, report) {
  const t = state.transport;
  const before = JSON.stringify([t.playing, t.looping, t.loop, t.load]);
  // While a seek is on its way, reports still tell where the demo was before it: the row the page
  // asked for stands until the demo answers, so that steps typed quickly add up.
  const seeking = state.seeksInFlight > 0;
  if (!seeking) t.row = Number(report.row) || 0;
  if (!(state.togglesInFlight > 0)) t.playing = !!report.playing;
  t.looping = !!report.looping;
  t.loop = report.loop || t.loop;
  t.scene = report.scene || '';
  t.fps = Number(report.fps) || 0;
  t.version = report.version;
  t.load = report.load || t.load;
  if (!seeking) t.at = performance.now();
  if (before !== JSON.stringify([t.playing, t.looping, t.loop, t.load])) state.gen.transport++;
  const tl = state.timeline;
  if (!tl) return false;
  return report.version !== tl.version || (!!report.load && report.load.message !== tl.load.message);
}

export function createTransport(state, api) {
  // Commands go out one at a time, in the order they were given. Seeks while scrubbing are
  // coalesced: while one waits its turn, a newer row replaces its row.
  let queue = Promise.resolve();
  let waitingSeek = null;

  state.seeksInFlight = 0;
  state.togglesInFlight = 0;

  function apply(result) {
    if (result.status !== 200) say(state, result.body.error || `transport refused (HTTP ${result.status})`, 'error');
    // An answer to an older seek would pull the play head back while a newer one waits.
    else if (!waitingSeek) takeReport(state, { ...state.transport, ...result.body });
    return result;
  }

  function command(body, answered = () => {}) {
    const sent = queue.then(() => api.transport(body).then((result) => {
      answered();
      return apply(result);
    }));
    queue = sent.then(() => {});
    return sent;
  }

  let steppedBackTo = null;   // where the last step back landed, until the play head is moved otherwise

  function seek(row) {
    steppedBackTo = null;
    const rows = state.timeline ? state.timeline.rows : 0;
    const target = Math.max(0, Math.min(rows - 1, row));
    state.transport.row = target;
    state.transport.at = performance.now();
    if (waitingSeek) {
      waitingSeek.row = target;
      return;
    }
    const next = waitingSeek = { row: target };
    state.seeksInFlight++;
    queue = queue.then(() => {
      waitingSeek = null;
      return api.transport({ action: 'seek', row: next.row }).then((result) => {
        state.seeksInFlight--;
        return apply(result);
      });
    });
  }

  const bar = () => Math.floor(playheadRow(state, performance.now()) / ROWS_PER_BAR);

  return {
    seek,
    // Space twice in a row plays and pauses: the page takes its own word for it until the demo has
    // answered, as it does for seeks.
    toggle: () => {
      const t = state.transport;
      t.row = playheadRow(state, performance.now());
      t.at = performance.now();
      t.playing = !t.playing;
      state.gen.transport++;
      state.togglesInFlight++;
      return command({ action: t.playing ? 'play' : 'pause' }, () => { state.togglesInFlight--; });
    },
    start: () => seek(0),
    step: (rows) => {
      const target = stepTarget(playheadRow(state, performance.now()), rows, steppedBackTo);
      seek(target);
      if (rows < 0) steppedBackTo = target;
    },
    markFirst: () => {
      state.marks.first = bar();
      say(state, `loop from bar ${state.marks.first}`);
      state.gen.transport++;
    },
    markLast: () => {
      state.marks.last = bar();
      say(state, `loop to bar ${state.marks.last}`);
      state.gen.transport++;
    },
    toggleLoop: () => {
      if (state.transport.looping) return command({ action: 'loop', on: false });
      let first = state.marks.first, last = state.marks.last;
      if (first === null && last === null) first = last = bar();
      if (first === null) first = last;
      if (last === null) last = first;
      if (last < first) [first, last] = [last, first];
      return command({ action: 'loop', first_bar: first, last_bar: last });
    },
  };
}
