// The editor server's HTTP API, as plain functions that resolve to {status, body} and never reject.
// Every request goes to the page's own origin with the token from the address's fragment; the
// fragment is never sent anywhere by the browser, so the token stays between the page and vordel.
// Status 0 means the server did not answer at all.

export function tokenFromHash(hash) {
  const token = hash.replace(/^#/, '');
  return /^[A-Za-z0-9_-]+$/.test(token) ? token : '';
}

// The first model and waveform are asked for by index.html's first script, before any module has
// come (window.vordelEarly: promises of {status, body}, or of null where that failed); createApi
// hands these answers to the page's first asks, and asks again itself for one that failed.
const early = new Map(typeof window !== 'undefined' && window.vordelEarly ? Object.entries(window.vordelEarly) : []);

function firstAnswer(name, ask) {
  const answer = early.get(name);
  early.delete(name);
  return answer ? answer.then((a) => a || ask()) : ask();
}

export function createApi(token) {
  const auth = { Authorization: 'Bearer ' + token };

  function request(method, path, body) {
    const init = { method, headers: auth, cache: 'no-store' };
    if (body !== undefined) {
      init.headers = { ...auth, 'Content-Type': 'application/json' };
      init.body = JSON.stringify(body);
    }
    return fetch(path, init).then(
      (response) => response.json().then(
        (data) => ({ status: response.status, body: data || {} }),
        () => ({ status: response.status, body: { error: `HTTP ${response.status}` } })),
      () => ({ status: 0, body: { error: 'the editor does not answer (is vordel --edit still running?)' } }));
  }

  return {
    // With `since` (a version the page holds), tracks unchanged since it come as {same: true}.
    timeline: (since) => since === undefined ? firstAnswer('timeline', () => request('GET', '/api/timeline'))
      : request('GET', `/api/timeline?since=${since}`),
    waveform: () => firstAnswer('waveform', () => request('GET', '/api/waveform')),
    edit: (version, ops) => request('POST', '/api/edit', { version, ops }),
    undo: () => request('POST', '/api/undo', {}),
    redo: () => request('POST', '/api/redo', {}),
    preview: (values) => request('POST', '/api/preview', values),
    transport: (command) => request('POST', '/api/transport', command),
    events: (onState, onConnection) => streamEvents(auth, onState, onConnection),
  };
}

// The state stream is Server-Sent Events read through fetch, because EventSource cannot send the
// Authorization header. A dropped stream is opened again after a short pause; a refused token is
// final, since retrying cannot fix it.
const RECONNECT_MS = 500;

function streamEvents(auth, onState, onConnection) {
  const decoder = new TextDecoder();
  let buffer = '';

  function take(text) {
    buffer += text.replace(/\r\n?/g, '\n');   // events may end their lines either way
    let end;
    while ((end = buffer.indexOf('\n\n')) >= 0) {
      const event = buffer.slice(0, end);
      buffer = buffer.slice(end + 2);
      const data = event.split('\n').filter((line) => line.startsWith('data:'))
        .map((line) => line.slice(5).trimStart()).join('\n');
      if (!data) continue;
      let state = null;
      try {
        state = JSON.parse(data);
      } catch (_) {
        continue;  // a malformed event is skipped; the next one carries the whole state again
      }
      onState(state);
    }
  }

  function pump(reader) {
    return reader.read().then(({ done, value }) => {
      if (done) return;
      take(decoder.decode(value, { stream: true }));
      return pump(reader);
    });
  }

  function connect() {
    buffer = '';
    fetch('/api/events', { headers: auth, cache: 'no-store' }).then((response) => {
      if (response.status === 401 || response.status === 403) {
        onConnection('refused', response.status);
        return;
      }
      if (!response.ok || !response.body) throw new Error(String(response.status));
      onConnection('open');
      return pump(response.body.getReader()).then(() => { throw new Error('ended'); });
    }).catch(() => {
      onConnection('lost');
      setTimeout(connect, RECONNECT_MS);
    });
  }
  connect();
}
