// The page's start and its frame loop. It reads the token from the address's fragment, loads the
// timeline and the waveform, follows the demo's state stream, and draws every animation frame.
// Every edit goes through app.act(what, buildOps): buildOps(state) makes the ops (or null for
// nothing to do) against the newest model when the action's turn comes, the page shows them at
// once, and the server writes them one at a time (edits.js); `what` is the message once written,
// or a function of the ops that makes it; the answer is a promise of whether it was written. A
// refusal shows the server's model again and says what was not written. Undo and redo wait for the
// edits before them and hold the ones after. Without a token the page asks for the right address
// and requests nothing.
//
// window.vordelEditor (for the benchmark and the browser test): ready (a promise of the time in ms
// since navigation when the model and the waveform were first drawn) and stats() (the page's own
// work per animation frame, the time between animation frames, the preview round trips, the delays
// from a reported new version and from a drag's pointer move to the frame that shows it, all in ms;
// when, in ms since the epoch, a frame first showed each version; the number of keys) and
// keyCentre(track) (where a key shows, whether it has a handle or its lane's canvas draws it).
//
// Only the modules that draw the first frame are imported here; the panels and the input (the
// inspector, the tools, the focused view, the keys and the mouse) are asked for once it is drawn.

import { createApi, tokenFromHash } from './api.js';
import { act, answered, createEdits, history, nextStep, nextToSend, release, takeServerModel } from './edits.js';
import { drawView, handleCentre } from './lanes.js';
import { createState, fitAll, formatRow, formatValue, isEditable, modelFromJson, say } from './model.js';
import { createTransport, playheadRow, takeReport } from './transport.js';
import { takeWaveform } from './waveform.js';

const $ = (id) => document.getElementById(id);
const STATS_KEPT = 4096;

function start() {
  // A token pasted into the address starts the page afresh, with it.
  window.addEventListener('hashchange', () => location.reload());
  const token = tokenFromHash(location.hash);
  if (!token) {
    $('editor').hidden = true;
    $('no-token').hidden = false;
    window.vordelEditor = { ready: new Promise(() => {}), stats: () => null };
    return;
  }
  const state = createState(token);
  state.edits = createEdits();
  const api = createApi(token);
  const dom = {
    timeline: $('timeline'), content: $('content'), groups: $('groups'), ruler: $('ruler'), wave: $('wave'),
    waveRow: $('wave-row'), playhead: $('playhead'), loop: $('loop-shade'), box: $('box'), tooltip: $('tooltip'),
    position: $('position'), lanes: new Map(),
    focusRow: $('focus-row'), focusPlot: $('focus-plot'), focusCanvas: $('focus-canvas'), focusAxis: $('focus-axis'),
    focusKeys: $('focus-keys'), focusReadout: $('focus-readout'), snapLine: $('snap-line'), snapMode: $('snap'),
    prompt: $('tool-prompt'), promptLabel: $('tool-prompt-label'), promptInput: $('tool-prompt-input'),
    edges: { first: $('stretch-first'), last: $('stretch-last') },
  };
  const transport = createTransport(state, api);
  const frameWork = new Float64Array(STATS_KEPT);
  const frameGaps = new Float64Array(STATS_KEPT);   // from one animation frame to the next
  let frames = 0;
  let lastFrame = null;
  const previewTrips = [];
  const reloadDelays = [];     // from the report of a new version to the frame that shows it
  const shownAt = [];          // when (ms since the epoch) a frame first showed a new version
  const moveDelays = [];       // from a pointer move in a drag to the frame that shows it
  let shownVersion = null;
  let movedAt = null;
  let reportedAt = null;
  let installedAt = null;

  // ---- the model

  // A model from the server; `releasing` ends the hold that asked for it (the first load, an
  // undo or a redo, a refused edit). The page asks for what changed since the server's model it
  // last took (`server`): the tracks that stayed come back as a name alone.
  let server = null;
  function ask() {
    return api.timeline(server ? server.version : undefined);
  }

  function install(r, releasing) {
    if (r.status === 200 && Array.isArray(r.body.tracks)) {
      const model = modelFromJson(r.body, state.timeline, server);
      if (!model) return api.timeline().then((whole) => install(whole, releasing));   // its base is gone
      server = model;
      const firstLoad = !state.timeline;
      if (takeServerModel(state, model, r.body)) {
        if (reportedAt !== null && r.body.version === state.transport.version) installedAt = reportedAt;
        if (firstLoad) fitAll(state);
        cancelStaleDrag();
      }
    } else if (r.status === 401) refused();
    else say(state, r.body.error || `the timeline could not be read (HTTP ${r.status})`, 'error');
    if (releasing) release(state);
    pump();
  }

  let loading = null;
  let loadAgain = false;
  function reload() {
    if (loading) {
      loadAgain = true;
      return loading;
    }
    loading = ask().then((r) => install(r, false)).then(() => {
      loading = null;
      if (loadAgain) {
        loadAgain = false;
        return reload();
      }
    });
    return loading;
  }

  // A model asked for after something that only the server's model shows: not a load begun before.
  function fresh() {
    return ask().then((r) => install(r, true));
  }

  // A drag whose keys the text changed meanwhile has nothing left to move.
  function cancelStaleDrag() {
    const d = state.drag;
    if (!d || d.kind !== 'keys') return;
    const gone = d.keys.some((k) => !state.timeline.byName.get(k.track).keys.some((x) => x.row === k.row && x.value === k.value));
    if (gone) {
      state.drag = null;
      say(state, 'the timeline changed under the drag; it was dropped', 'warn');
    }
  }

  // Sends the next edit, or the next undo or redo once every edit before it is answered.
  function pump() {
    const next = nextToSend(state);
    if (next) {
      api.edit(next.version, next.ops).then((r) => {
        if (r.status === 200) {
          answered(state, true, r.body.version);
          say(state, next.what);
          if (!state.edits.pending.length) reload();
        } else {
          const dropped = answered(state, false).map((e) => e.what);
          const why = r.body.error || `the edit was refused (HTTP ${r.status})`;
          say(state, `${why}. Not written: ${dropped.join('; ')}. The page shows the file as it is now.`, r.status === 409 ? 'warn' : 'error');
          fresh();
        }
        pump();
      });
      return;
    }
    const step = nextStep(state);
    if (!step) return;
    step.call().then((r) => {
      if (r.status === 200) say(state, step.what);
      else say(state, r.body.error || `HTTP ${r.status}`, 'warn');
      return fresh();
    });
  }

  function step(call, what) {
    return () => {
      history(state, { call, what });
      pump();
    };
  }

  // The one way the page edits: see the head of this file and edits.js. Answers a promise of
  // whether the server wrote it.
  function actNow(what, buildOps) {
    return new Promise((done) => {
      act(state, what, (s) => {
        if (!s.timeline) return null;
        if (isEditable(s)) return buildOps(s);
        const load = s.transport.load && !s.transport.load.ok ? s.transport.load : s.timeline.load;
        say(s, `read-only until the timeline is fixed: ${load.message}`, 'error');
        return null;
      }, done);
      pump();
    });
  }

  // Previews are coalesced like seeks: one in flight, the newest waits.
  let previewInFlight = false;
  let previewWaiting = null;
  function preview(values) {
    if (previewInFlight) {
      previewWaiting = values;
      return;
    }
    previewInFlight = true;
    const sent = performance.now();
    api.preview(values).then(() => {
      previewTrips.push(performance.now() - sent);
      previewInFlight = false;
      if (previewWaiting) {
        const next = previewWaiting;
        previewWaiting = null;
        preview(next);
      }
    });
  }

  function refused() {
    state.timeline = null;
    $('editor').hidden = true;
    $('no-token').hidden = false;
    $('no-token-reason').textContent = 'The editor refused this page\'s token: vordel was probably started again, with a new one.';
  }

  // Set once the panels' modules are in (loadPanels), which are the only callers of snap,
  // valuePerPx and focusInspector.
  let panels = null;
  const app = {
    state, api, transport, act: actNow, reload, preview,
    snap: (row, dragged = null, whole = false) => panels.tools.snap(state, row, dragged, whole),
    valuePerPx: (track, handle) => panels.tools.dragValuePerPx(state, dom, track, handle),
    undo: step(api.undo, 'undone'),
    redo: step(api.redo, 'redone'),
    focusInspector: () => panels.inspector.focus(),
    focusTimeline: () => dom.timeline.focus(),
  };

  // Keys pressed before the input's module is in are kept and pressed again once it is, in order.
  const earlyKeys = [];
  const keepKey = (e) => earlyKeys.push(e);
  document.addEventListener('keydown', keepKey);
  function loadPanels() {
    return Promise.all([import('./inspector.js'), import('./tools.js'), import('./input.js'), import('./curve_view.js')])
      .then(([inspector, tools, input, focus]) => {
        panels = { inspector: inspector.createInspector(app, $('inspector')), tools, focus };
        tools.attachTools(app, dom);
        input.attachInput(app, dom);
        focus.attachFocus(app, dom);
        document.removeEventListener('keydown', keepKey);
        for (const e of earlyKeys.splice(0)) e.target.dispatchEvent(new KeyboardEvent('keydown', e));
      });
  }

  // ---- the buttons of the status bar

  $('play').addEventListener('click', () => transport.toggle());
  $('to-start').addEventListener('click', () => transport.start());
  $('loop').addEventListener('click', () => transport.toggleLoop());
  $('undo').addEventListener('click', () => app.undo());
  $('redo').addEventListener('click', () => app.redo());
  $('show-wave').addEventListener('change', (e) => { state.showWave = e.target.checked; state.gen.view++; });
  // A pointer click never leaves the keyboard on a button or a section's header: Enter and Space
  // belong to the editor's keys. (Keys pressed on a button reached with Tab still press it.)
  document.addEventListener('click', (e) => {
    if (e.detail > 0 && e.target.closest('button, .check')) app.focusTimeline();
  });

  // The lanes' width changes with the window and with the scroll bar that the lanes bring: a
  // fitted view stays fitted.
  new ResizeObserver(() => {
    const width = dom.ruler.parentElement.clientWidth;
    if (width === state.view.width) return;
    state.view.width = width;
    if (state.view.fitted || !state.timeline) fitAll(state);
    state.gen.view++;
  }).observe(dom.ruler.parentElement);

  // ---- the status line: redrawn only when what it says changed

  const shown = {};
  function syncStatus(now) {
    const tl = state.timeline;
    const load = (state.transport.load && state.transport.version === (tl && tl.version)) ? state.transport.load : tl && tl.load;
    const loadText = load ? load.message : 'loading…';
    if (shown.load !== loadText) {
      $('load').textContent = loadText;
      $('load').className = load && load.ok ? 'ok' : 'mistake';
      shown.load = loadText;
    }
    // A mistake reported by the stream makes the page read-only at once, before its model is back.
    const readonly = !isEditable(state);
    if (shown.readonly !== readonly) {
      $('readonly').hidden = !readonly;
      shown.readonly = readonly;
    }
    const message = state.entry ? `typing: ${state.entry} (Enter sets it; with ":" it moves the cursor)` : state.message.text;
    const messageKey = `${state.gen.message}|${state.entry}`;
    if (shown.message !== messageKey) {
      $('message').textContent = message;
      $('message').className = state.entry ? 'entry' : state.message.kind;
      shown.message = messageKey;
    }
    const demo = `${state.transport.scene || '–'} · ${state.transport.fps.toFixed(0)} fps · version ${tl ? tl.version : '–'}${state.connection === 'open' ? '' : ' · ' + state.connection}`;
    if (shown.demo !== demo) {
      $('demo').textContent = demo;
      shown.demo = demo;
    }
    const playing = state.transport.playing;
    if (shown.playing !== playing) {
      $('play').textContent = playing ? 'Pause' : 'Play';
      $('play').setAttribute('aria-pressed', String(playing));
      shown.playing = playing;
    }
    if (shown.looping !== state.transport.looping) {
      $('loop').setAttribute('aria-pressed', String(state.transport.looping));
      shown.looping = state.transport.looping;
    }
    if (shown.cursor !== state.gen.cursor + '|' + state.gen.model && tl) {
      const t = tl.byName.get(state.cursor.track);
      const key = t && t.keys.find((k) => k.row === state.cursor.row);
      const row = state.cursor.row;
      $('announce').textContent = t ? `${t.name} ${formatRow(row)} (row ${row}): ` +
        (key ? `key ${formatValue(key.value)} ${key.interp}` : `no key, value ${formatValue(t.samples[row])}`) : '';
      shown.cursor = state.gen.cursor + '|' + state.gen.model;
    }
    // While playing, a play head that leaves the lanes turns the page.
    if (tl && state.transport.playing && !state.drag) {
      const row = playheadRow(state, now);
      const visible = state.view.width / state.view.pxPerRow;
      if (visible < tl.rows && (row > state.view.start + visible || row < state.view.start)) {
        state.view.start = Math.max(0, Math.min(row - visible * 0.05, tl.rows - visible));
        state.gen.view++;
      }
    }
  }

  let sentDrag = -1;
  function frame(now) {
    const begin = performance.now();
    drawView(dom, state, now);
    if (panels) {
      panels.focus.drawFocus(dom, state);
      panels.tools.drawTools(dom, state);
      panels.inspector.sync();
    }
    syncStatus(now);
    const d = state.drag;
    if (d && d.keys && d.moved && !d.committing && sentDrag !== state.gen.drag) {
      preview(d.keys.map((k) => ({ track: k.track, from: k.row, row: k.newRow, value: k.newValue })));
      sentDrag = state.gen.drag;
    }
    if (state.timeline.version !== shownVersion) {
      shownVersion = state.timeline.version;
      shownAt.push(performance.timeOrigin + performance.now());
    }
    if (movedAt !== null) {
      if (d) moveDelays.push(performance.now() - movedAt);
      movedAt = null;
    }
    frameGaps[frames % STATS_KEPT] = lastFrame === null ? 0 : now - lastFrame;
    lastFrame = now;
    frameWork[frames++ % STATS_KEPT] = performance.now() - begin;
    if (installedAt !== null) {
      reloadDelays.push(performance.now() - installedAt);
      installedAt = reportedAt = null;
    }
    requestAnimationFrame(frame);
  }

  // ---- start

  let markReady;
  const ready = new Promise((resolve) => { markReady = resolve; });
  window.vordelEditor = {
    ready,
    stats: () => ({
      frames: Array.from(frameWork.subarray(0, Math.min(frames, STATS_KEPT))),
      gaps: Array.from(frameGaps.subarray(1, Math.min(frames, STATS_KEPT))),
      frameCount: frames,
      previews: previewTrips.slice(),
      reloads: reloadDelays.slice(),
      shown: shownAt.slice(),
      moves: moveDelays.slice(),
      keys: state.timeline ? state.timeline.tracks.reduce((n, t) => n + t.keys.length, 0) : 0,
    }),
    // Where the page shows a track's key (the middle one unless `index` is given), in client pixels.
    keyCentre: (name, index) => {
      const track = state.timeline.byName.get(name), entry = dom.lanes.get(name), r = entry.canvas.getBoundingClientRect();
      const [x, y] = handleCentre(state, track, track.keys[index ?? track.keys.length >> 1], entry.height);
      return [r.left + x, r.top + y];
    },
    resetStats: () => {
      frames = 0; lastFrame = null; previewTrips.length = 0; reloadDelays.length = 0; moveDelays.length = 0;
    },
  };

  dom.content.addEventListener('pointermove', (e) => { if (state.drag && movedAt === null) movedAt = e.timeStamp; });

  api.events((report) => {
    state.connection = 'open';
    if (takeReport(state, report)) {
      if (reportedAt === null) reportedAt = performance.now();
      reload();
    }
  }, (status, code) => {
    state.connection = status === 'open' ? 'open' : status === 'lost' ? 'reconnecting to the demo…' : `events refused (${code})`;
    if (status === 'refused') refused();
  });

  Promise.all([
    fresh(),
    api.waveform().then((r) => {
      state.wave = r.status === 200 ? takeWaveform(r.body) : null;
      if (!state.wave) say(state, 'no waveform from the editor', 'warn');
      state.gen.view++;
    }),
  ]).then(() => {
    if (!state.timeline) return;
    // Drawn at once rather than at the next animation frame: that frame shows it either way.
    frame(performance.now());
    markReady(performance.now());
    dom.timeline.focus({ preventScroll: true });
    loadPanels();
  });
}

start();
