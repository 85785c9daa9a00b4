"""The editor's server against the real binary, run by editor_end_to_end.sh in a scratch folder
on a display of its own, with the editor's flush of the timeline held by a preloaded shim when a
row asks. One run of the program: every refusal of one table, slow and hostile connections, the
model, the transport, the event stream; then the live timeline: a model that holds its version's keys
under a stream of saves, a preview taken back, a save that lands during the editor's write, an edit
of a file with a mistake, edits, seeks and undo with the window minimised, and Escape with requests
waiting."""
import http.client
import json
import os
import re
import socket
import statistics
import subprocess
import sys
import threading
import time

VORDEL, SHIM = sys.argv[1], sys.argv[2]
# Only the clear colour changes the corner; the clear colours share one line, as authors write them.
TIMELINE = """# editor test
track scene fade.r fade.g fade.b fade.a cam.x cam.y cam.z cam.lookx cam.looky cam.lookz
  0  0 0 0 0 0  0 0 5 0 0 0  hold
track scp.a scp.b scp.c fog text.i text.fade
  0  0 0 0 0 0 0  hold
# the background
track clear.r clear.g clear.b
  0     1   0   0    hold
  12:2  0   1   0    hold
"""
failures = []
running = []  # the program whose evidence a wait prints when it gives up


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def stderr_text():
    return open("err.txt", errors="replace").read()


class Program:
    """vordel --edit on timeline.txt, any free port; `env` adds to the environment."""

    def __init__(self, vordel, env=None):
        self.process = subprocess.Popen([vordel, "--edit", "timeline.txt", "--port", "0"], stdout=open("out.txt", "w"),
                                        stderr=open("err.txt", "w"), stdin=subprocess.DEVNULL,
                                        env=dict(os.environ, **(env or {})))
        running[:] = [self]
        wait_for(lambda: re.search(r"^editor: http://127\.0\.0\.1:\d+/#[0-9a-f]{32}$", stderr_text(), re.M), 90,
                 "editor line")
        wait_for(lambda: "loaded timeline.txt" in stderr_text(), 90, "load")
        port, token = re.search(r"^editor: http://127\.0\.0\.1:(\d+)/#([0-9a-f]{32})$", stderr_text(), re.M).groups()
        self.port, self.token = int(port), token

    def evidence(self):
        """The program's threads where they stand, and the end of its standard error."""
        if self.process.poll() is None:
            bt = subprocess.run(["gdb", "-batch", "-p", str(self.process.pid), "-ex", "thread apply all bt"],
                                capture_output=True, text=True, timeout=60).stdout
            print("--- threads:\n" + bt[-6000:])
        print("--- stderr:\n" + stderr_text()[-1500:])

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()


def wait_for(condition, seconds, what):
    end = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > end:
            print("FAIL: no", what, "within", seconds, "s")
            for program in running:
                program.evidence()
                program.kill()
            sys.exit(1)
        time.sleep(0.02)


def window_id():
    found = subprocess.run(["xdotool", "search", "--name", "^Vordel$"], capture_output=True, text=True).stdout.split()
    return found[0] if found else None


def corner(width=640, height=480):
    out = subprocess.run(["import", "-window", "root", "-crop", "1x1+%d+%d" % (width - 4, height - 4), "-depth", "8",
                          "txt:-"], capture_output=True, text=True).stdout
    found = re.search(r"^0,0: \((\d+),(\d+),(\d+)", out, re.M)
    return found and ",".join(found.groups())


class Client:
    def __init__(self, port, token):
        self.port, self.token = port, token

    def request(self, method, path, body=None, headers=None, token=True):
        sent = {"Host": "127.0.0.1:%d" % self.port}
        if token:
            sent["Authorization"] = "Bearer " + self.token
        sent.update(headers or {})
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        connection.putrequest(method, path, skip_host=True, skip_accept_encoding=True)
        data = body.encode() if isinstance(body, str) else body
        for name, value in sent.items():
            connection.putheader(name, value)
        if data is not None:
            connection.putheader("Content-Length", str(len(data)))
        connection.endheaders()
        try:
            if data is not None:
                connection.send(data)
        except (BrokenPipeError, ConnectionResetError):
            pass  # a refused body: the answer is already waiting
        response = connection.getresponse()
        answer = response.read()
        connection.close()
        return response.status, response.getheaders(), answer

    def json(self, method, path, body=None):
        status, _, answer = self.request(method, path, body if body is None or isinstance(body, str) else json.dumps(body))
        return status, json.loads(answer) if answer else None


class Stream:
    """The event stream, read as the page reads it: one connection, events as they arrive."""

    def __init__(self, port, token):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)
        self.sock.sendall(("GET /api/events HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nAuthorization: Bearer %s\r\n\r\n"
                           % (port, token)).encode())
        self.buffer, self.ready = b"", []

    def next(self, seconds):
        """The next event as (arrival, state), or None when none comes within `seconds`."""
        end = time.monotonic() + seconds
        while not self.ready:
            if time.monotonic() >= end:
                return None
            self.sock.settimeout(max(0.001, end - time.monotonic()))
            try:
                chunk = self.sock.recv(65536)
            except socket.timeout:
                return None
            if not chunk:
                return None
            arrival = time.monotonic()
            self.buffer += chunk
            for text in re.findall(rb"data: (\{.*?\})\n\n", self.buffer):
                self.ready.append((arrival, json.loads(text)))
            self.buffer = self.buffer[self.buffer.rfind(b"\n\n") + 2:] if b"\n\n" in self.buffer else self.buffer
        return self.ready.pop(0)

    def version_after(self, version, seconds):
        """The first state whose version is past `version`, or None."""
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            event = self.next(end - time.monotonic())
            if event and event[1]["version"] > version:
                return event[1]
        return None

    def close(self):
        self.sock.close()


def security_rows(client, port):
    """Each refusal: its status, a one-line JSON reason, no CORS headers, nothing changed."""
    foreign = {"Origin": "http://evil.example"}
    rows = [
        ("no token", "GET", "/api/timeline", None, {}, False, 401),
        ("bad Host", "GET", "/", None, {"Host": "evil.example:%d" % port}, True, 403),
        ("foreign Origin on POST", "POST", "/api/transport", '{"action": "pause"}', foreign, True, 403),
        ("body over 1 MB", "POST", "/api/edit", " " * (1048576 + 1), {}, True, 413),
        ("unknown path", "GET", "/nothing.js", None, {}, True, 404),
        ("unknown API path", "POST", "/api/nothing", "{}", {}, True, 404),
        ("path traversal", "GET", "/../timeline.txt", None, {}, True, 404),
        ("encoded traversal", "GET", "/%2e%2e/timeline.txt", None, {}, True, 404),
        ("encoded slash", "GET", "/..%2ftimeline.txt", None, {}, True, 404),
        ("OPTIONS", "OPTIONS", "/api/edit", None, dict(foreign, **{"Access-Control-Request-Method": "POST"}), True, 405),
        ("malformed JSON", "POST", "/api/edit", "{", {}, True, 400),
        ("seek past the end", "POST", "/api/transport", '{"action": "seek", "row": 99999}', {}, True, 400),
    ]
    before_text, before_err = open("timeline.txt", "rb").read(), stderr_text().count("\n")
    for name, method, path, body, headers, token, status in rows:
        seen, answer_headers, answer = client.request(method, path, body, dict(headers, **{"Accept-Encoding": "br"}), token)
        names = [header.lower() for header, _ in answer_headers]
        check("content-encoding" not in names, "%s: compressed, at a cost of 100s of ms on a model" % name)
        reason = json.loads(answer).get("error") if answer.strip().startswith(b"{") else None
        check(seen == status, "%s: status %d, expected %d" % (name, seen, status))
        check(isinstance(reason, str) and b"\n" not in answer.strip(), "%s: no one-line reason: %r" % (name, answer[:80]))
        check(not any(h.startswith("access-control-") for h in names), "%s: CORS headers" % name)
        check("x-content-type-options" in names, "%s: no nosniff" % name)
    check(open("timeline.txt", "rb").read() == before_text, "a refused request changed the timeline")
    check(stderr_text().count("\n") == before_err, "a refused request moved the demo: " + stderr_text()[-200:])
    print("security: %d refusals" % len(rows))


def raw(port, data, seconds=5):
    """Sends bytes as they are and reads until the server closes: (status, JSON reason or None)."""
    sock = socket.create_connection(("127.0.0.1", port), timeout=seconds)
    answer = b""
    try:
        sock.sendall(data)
        while True:
            chunk = sock.recv(65536)
            if not chunk:
                break
            answer += chunk
    except (OSError, socket.timeout):
        pass
    sock.close()
    head, _, body = answer.partition(b"\r\n\r\n")
    found = re.match(rb"HTTP/1\.1 (\d+) ", head)
    return (int(found.group(1)) if found else 0), (json.loads(body).get("error") if body.startswith(b"{") else None)


def resident_kb(pid):
    return int(re.search(r"^VmRSS:\s+(\d+) kB", open("/proc/%d/status" % pid).read(), re.M).group(1))


def connection_rows(client, port, pid):
    """What the front door refuses on the raw connection, and what slow clients cannot do."""
    host, bearer = "Host: 127.0.0.1:%d\r\n" % port, "Authorization: Bearer %s\r\n" % client.token
    chunks = b"".join(b"10000\r\n" + b"x" * 0x10000 + b"\r\n" for _ in range(128)) + b"0\r\n\r\n"  # 8 MB
    rows = [
        ("empty Origin on POST", host + bearer + "Origin:\r\nContent-Length: 2\r\n", b"{}", 403, "empty Origin refused"),
        ("head over 16 KB", host + "X: " + "a" * 16384 + "\r\n", b"", 431, "the request's head is over 16 KB"),
        ("chunked body of 8 MB", host + bearer + "Transfer-Encoding: chunked\r\n", chunks, 413, "the body is over 1 MB"),
        ("chunked body cut short", host + bearer + "Transfer-Encoding: chunked\r\n", b"zz\r\n", 400,
         "the body did not arrive whole within 5 s (malformed chunks, or fewer bytes than its Content-Length)"),
    ]
    for name, headers, body, status, reason in rows:
        method = "GET /api/events" if "events" in name else "POST /api/nothing"
        before = resident_kb(pid)
        seen = raw(port, ("%s HTTP/1.1\r\n%s\r\n" % (method, headers)).encode() + body)
        check(seen == (status, reason), "%s: %s, expected %s" % (name, seen, (status, reason)))
        if body is chunks:
            grown = resident_kb(pid) - before
            print("8 MB in chunks: the program grew by %d kB" % grown)
            # Kept whole, the body alone would take 8 MB. Under the sanitizers the program's size says
            # nothing: their allocator keeps what was freed for a while, megabytes of it.
            check(grown < 4096 or "ASAN_OPTIONS" in os.environ, "8 MB in chunks grew the program by %d kB" % grown)

    # A browser's connection carries its next request after a good answer; a refusal closes it.
    sock, seen = socket.create_connection(("127.0.0.1", port), timeout=5), b""
    for path, end in [("/", b"</html>\n"), ("/api/timeline", b"}")]:
        sock.sendall(("GET %s HTTP/1.1\r\nConnection: keep-alive\r\n%s\r\n" % (path, host)).encode())
        while not seen.endswith(end) and (chunk := sock.recv(65536)):
            seen += chunk
    check(seen.count(b"HTTP/1.1 200 ") == 1 and b"HTTP/1.1 401 " in seen and sock.recv(16) == b"", "kept: %r" % seen[-80:])

    # 200 clients that send their heads a byte at a time: a real request still answers at once, and a
    # head that has not arrived within its deadline is answered 408.
    slow = [socket.create_connection(("127.0.0.1", port)) for _ in range(200)]
    late = socket.create_connection(("127.0.0.1", port), timeout=5)
    late.sendall(b"GET / HTTP/1.1\r\n")
    waits, head = [], b"GET / HTTP/1.1\r\n" + host.encode()
    for tick in range(10):
        for sock in slow:
            try:
                sock.send(head[tick:tick + 1], socket.MSG_DONTWAIT)
            except OSError:
                pass
        start = time.monotonic()
        status, _ = client.json("GET", "/api/timeline")
        waits.append(time.monotonic() - start)
        check(status == 200, "a real request beside slow clients: %d" % status)
        time.sleep(0.2)  # the clients' pace, a byte each 0.2 s: a wait for nothing the program says
    print("a real request beside 200 slow clients: median %.0f ms, worst %.0f ms (a second wanted)"
          % (sorted(waits)[len(waits) // 2] * 1000, max(waits) * 1000))
    check(max(waits) < 3.0, "a real request waited %.1f s beside slow clients" % max(waits))
    answer = late.recv(4096)
    check(answer.startswith(b"HTTP/1.1 408 ") and b"did not arrive within 1.5 s" in answer, "slow head: %r" % answer[:80])
    for sock in slow + [late]:
        sock.close()

    # Event streams: four at most; a fifth right after one's client has gone takes its place.
    def stream_status():
        stream = Stream(port, client.token)
        stream.sock.settimeout(5)
        first = stream.sock.recv(4096)
        return stream, int(first.split()[1]) if first.startswith(b"HTTP/1.1 ") else 0

    streams = [stream_status() for _ in range(4)]
    check([status for _, status in streams] == [200] * 4, "four streams: %s" % [s for _, s in streams])
    extra, status = stream_status()
    check(status == 503, "a fifth stream: %d" % status)
    extra.close()
    streams[0][0].close()
    again, status = stream_status()
    check(status == 200, "a stream right after one closed: %d" % status)
    for stream, _ in streams[1:] + [(again, 200)]:
        stream.close()
    print("connections: %d raw refusals, slow clients, stream slots" % len(rows))


def model_rows(client):
    status, model = client.json("GET", "/api/timeline")
    check(status == 200, "timeline: status %d" % status)
    names = [track["name"] for track in model["tracks"]]
    check(names[:4] == ["scene", "clear.r", "clear.g", "clear.b"] and len(names) == 20, "track order: %s" % names)
    rows = model["rows"]
    # The bundled music ends just past the demo's last row, 1056.
    check(1056 < rows < 1200, "rows %d" % rows)
    clear_g = model["tracks"][2]
    check(clear_g["keys"] == [{"row": 0, "value": 0.0, "interp": "hold"}, {"row": 400, "value": 1.0, "interp": "hold"}],
          "clear.g keys %s" % clear_g["keys"])
    samples = clear_g["samples"]
    check(len(samples) == rows and samples[399] == 0 and samples[400] == 1 and samples[-1] == 1,
          "clear.g samples around row 400: %s" % samples[398:402])
    sections = model.get("sections", [])
    check([s["tracks"] for s in sections][2] == ["clear.r", "clear.g", "clear.b"] and
          sections[2]["comment"] == "the background" and clear_g["section"] == 2, "sections %s" % sections)
    check(model["load"] == {"ok": True, "message": "loaded"} and model["editable"], "load %s" % model["load"])
    status, wave = client.json("GET", "/api/waveform")
    check(status == 200 and wave["rows_per_bucket"] == 0.125 and len(wave["min"]) == 8 * rows ==
          len(wave["max"]), "waveform: %d buckets for %d rows" % (len(wave["min"]), rows))
    check(all(-1 <= lo <= hi <= 1 for lo, hi in zip(wave["min"], wave["max"])) and max(wave["max"]) > 0.1,
          "waveform peaks out of range or silent")
    print("model: %d tracks, %d rows" % (len(names), rows))


def transport_and_stream_rows(client, port):
    status, state = client.json("POST", "/api/transport", '{"action": "seek", "row": 96}')
    check(status == 200 and abs(state["row"] - 96) < 2, "seek answer %s" % state)
    wait_for(lambda: re.search(r"^3:0:0 \(row 96\) playing$", stderr_text(), re.M), 5, "printed position 3:0:0")
    status, state = client.json("POST", "/api/transport", '{"action": "pause"}')
    check(status == 200 and state["playing"] is False, "pause answer %s" % state)
    status, state = client.json("POST", "/api/transport", '{"action": "loop", "first_bar": 2, "last_bar": 3}')
    check(status == 200 and state["looping"] and state["loop"] == {"first_bar": 2, "last_bar": 3}, "loop %s" % state)
    status, state = client.json("POST", "/api/transport", '{"action": "loop", "on": false}')
    check(status == 200 and not state["looping"], "loop off %s" % state)
    status, state = client.json("POST", "/api/transport", '{"action": "play"}')
    check(status == 200 and state["playing"], "play answer %s" % state)
    stream = Stream(port, client.token)
    seen, end = [], time.monotonic() + 2.0
    while time.monotonic() < end:
        event = stream.next(1.0)
        if event:
            seen.append(event)
    span = seen[-1][0] - seen[0][0] if len(seen) > 1 else 0
    rate = (len(seen) - 1) / span if span > 0 else 0
    rows_move = len(seen) > 1 and seen[-1][1]["row"] > seen[0][1]["row"]
    print("events while playing: %.1f a second (30 wanted)" % rate)
    check(len(seen) >= 4 and rows_move, "events while playing: %d in 2 s, rows moving %s" % (len(seen), rows_move))
    stream.close()

def live_timeline(clear="1 0 0", fog8="  8  0  hold\n"):
    return ("# live test\n"
            "track scene fade.r fade.g fade.b fade.a cam.x cam.y cam.z cam.lookx cam.looky cam.lookz\n"
            "  0  0 0 0 0 0  0 0 5 0 0 0  hold\n"
            "track scp.a scp.b scp.c text.i text.fade\n  0  0 0 0 0 0  hold\n"
            "track fog\n  0  0  hold\n# fog one\n" + fog8 + "# fog two\n"
            "track clear.r clear.g clear.b\n  0  " + clear + "  hold\n")


def save(text):
    """A text editor's save: a new file renamed over the old one."""
    with open("timeline.new", "w") as f:
        f.write(text)
    os.rename("timeline.new", "timeline.txt")


def file_text():
    return open("timeline.txt").read()


def keys(model, name):
    return next(track["keys"] for track in model["tracks"] if track["name"] == name)


class Run:
    def __init__(self, program):
        self.program = program
        self.client = Client(program.port, program.token)
        self.stream = Stream(program.port, program.token)
        self.version = self.model()["version"]

    def model(self):
        status, model = self.client.json("GET", "/api/timeline")
        check(status == 200, "model: status %d" % status)
        return model

    def saved(self, text, ok=True):
        """Saves and waits for the stream to announce the version (or the mistake) it became."""
        save(text)
        if ok:
            state = self.stream.version_after(self.version, 10)
            wait_for(lambda: state is not None, 0, "version for a save")
            self.version = state["version"]
        else:
            wait_for(lambda: (self.stream.next(0.5) or (0, {"load": {"ok": True}}))[1]["load"]["ok"] is False, 10,
                     "mistake on the stream")

    def edit(self, *ops, version=None):
        status, answer = self.client.json("POST", "/api/edit", {"version": version or self.version, "ops": list(ops)})
        if status == 200:
            self.version = answer["version"]
        return status, answer


def stale_model_rows(run):
    """Each save, then the model the page fetches on the stream's event, then an edit made from it
    (the interpolation key's): the model holds the saved keys, and the save survives the edit."""
    undone, times = 0, []
    for i in range(1, 21):
        value, before = i / 64, run.version
        start = time.monotonic()
        run.saved(live_timeline("1 %s 0" % value))
        times.append((time.monotonic() - start) * 1000)
        model = run.model()
        held = keys(model, "clear.g")[0]["value"]
        check(held == value, "save %d: the model for version %d holds %s, not %s" % (i, model["version"], held, value))
        since = [run.client.json("GET", "/api/timeline?since=%s" % v)[1] for v in (before, "x%d" % before, 10 ** 9)]
        check(i == 1 or since[0]["since"] == before and [t["name"] for t in since[0]["tracks"] if "keys" in t] == ["clear.g"] and
              since[0]["tracks"][2] == model["tracks"][2] and all("since" not in m for m in since[1:]), "since: %s" % since[0])
        run.edit({"op": "set", "track": "clear.g", "row": 0, "value": held, "interp": "linear"}, version=model["version"])
        undone += keys(run.model(), "clear.g")[0]["value"] != value
    check(undone == 0, "%d of 20 saves undone by an edit from the model" % undone)
    print("20 saves: on the stream after %.0f ms median, %.0f ms worst; %d undone" %
          (statistics.median(times), max(times), undone))


def preview_rows(run):
    run.saved(live_timeline())
    run.client.json("POST", "/api/transport", {"action": "seek", "row": 4})
    wait_for(lambda: corner() == "255,0,0", 10, "red corner")
    status, _ = run.client.json("POST", "/api/preview", {"track": "clear.b", "row": 0, "value": 1})
    check(status == 200, "preview: %d" % status)
    wait_for(lambda: corner() == "255,0,255", 10, "magenta corner in the preview")
    status, _ = run.client.json("POST", "/api/preview", [])
    check(status == 200, "empty preview: %d" % status)
    wait_for(lambda: corner() == "255,0,0", 10, "red corner once the preview is taken back")
    print("preview: shown, then taken back")


def save_during_write_rows(run):
    """The editor's flush held; a text editor saves meanwhile; the flush goes on."""
    open("hold-flush", "w").close()
    answers = []
    editing = threading.Thread(target=lambda: answers.append(
        run.edit({"op": "set", "track": "clear.b", "row": 0, "value": 0.5, "interp": "hold"})))
    editing.start()
    wait_for(lambda: os.path.exists("flush-held"), 10, "the editor's write to reach its flush")
    authors = live_timeline("0 1 0")
    save(authors)
    os.remove("hold-flush")
    editing.join(30)
    check(answers == [(409, {"error": "the timeline changed on disk; reload"})], "edit during a save: %s" % answers)
    check(file_text() == authors, "the author's save was replaced: %r" % file_text()[-60:])
    state = run.stream.version_after(run.version, 10)
    check(state is not None and keys(run.model(), "clear.g")[0]["value"] == 1, "the author's save was not loaded")
    run.version = state["version"] if state else run.version
    check(not [name for name in os.listdir(".") if name.startswith(".timeline.txt.")], "a temporary was left")
    print("a save during the editor's write: kept, the edit refused")


def mistake_rows(run):
    run.saved(live_timeline("0 1 0", fog8="  8  5  hold\n tilt\n"), ok=False)
    status, answer = run.edit({"op": "delete", "track": "fog", "row": 8})
    check(status == 409 and answer["error"].startswith("the timeline has a mistake: timeline.txt:"),
          "edit of a file with a mistake: %d %s" % (status, answer))
    run.saved(live_timeline("1 0 0"))


def timed_edits(run, count):
    times = []
    for i in range(count):
        value = (i % 4) / 4
        start = time.monotonic()
        status, _ = run.edit({"op": "set", "track": "clear.b", "row": 0, "value": value, "interp": "hold"})
        times.append((time.monotonic() - start) * 1000)
        check(status == 200 and keys(run.model(), "clear.b")[0]["value"] == value, "edit %d: %d" % (i, status))
    return statistics.median(times), max(times)


def pacing_rows(run):
    """Counted by the demo itself over two seconds each: playing, no more frames than the refresh
    rate it reports allows; paused with nothing changing, none (a frame or two may finish the pause)."""
    def state():
        stream = Stream(run.program.port, run.program.token)
        event = stream.next(10)
        stream.close()
        return event[1]

    def frames_in(seconds):
        first = state()
        time.sleep(seconds)  # a span to count over, not a wait for something the program says
        last = state()
        return last["frames"] - first["frames"], last["refresh"]

    run.client.json("POST", "/api/transport", {"action": "play"})
    drawn, refresh = frames_in(2)
    print("playing: %d frames in 2 s at a refresh of %g Hz" % (drawn, refresh))
    check(0 < drawn <= 2 * refresh + 2, "playing: %d frames in 2 s at %g Hz" % (drawn, refresh))
    run.client.json("POST", "/api/transport", {"action": "pause"})
    drawn, _ = frames_in(2)
    check(drawn <= 2, "paused and idle: %d frames in 2 s" % drawn)


def minimised_rows(run):
    shown = timed_edits(run, 10)
    window = window_id()
    subprocess.run(["xdotool", "windowminimize", "--sync", window], timeout=10)
    state = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
    check("IsUnMapped" in state or "IsUnviewable" in state, "the window is still shown")
    hidden = timed_edits(run, 10)
    status, state = run.client.json("POST", "/api/transport", {"action": "seek", "row": 96})
    check(status == 200 and abs(state["row"] - 96) < 2, "seek while minimised: %d %s" % (status, state))
    status, answer = run.client.json("POST", "/api/undo", "{}")
    check(status == 200 and keys(run.model(), "clear.b")[0]["value"] == 0, "undo while minimised: %d %s" % (status, answer))
    print("edit to installed: shown %.1f ms median, %.1f ms worst; minimised %.1f ms median, %.1f ms worst" %
          (shown + hidden))
    subprocess.run(["xdotool", "windowmap", "--sync", window], timeout=10)


def escape_rows(run):
    """Escape while requests wait: every one is answered and the program ends within a second."""
    ended = threading.Event()
    answered = []

    def busy():
        while not ended.is_set():
            try:
                answered.append(run.client.json("POST", "/api/transport", {"action": "pause"})[0])
            except OSError:
                break

    threads = [threading.Thread(target=busy) for _ in range(6)]
    for thread in threads:
        thread.start()
    run.stream.close()
    start = time.monotonic()
    subprocess.run(["xdotool", "windowfocus", "--sync", window_id(), "key", "Escape"], timeout=10)
    status = run.program.process.wait(timeout=20)
    took = time.monotonic() - start
    ended.set()
    for thread in threads:
        thread.join(30)
    check(status == 0 and open("out.txt").read().endswith("finito"), "status %d after Escape" % status)
    check(took < 3 and not any(thread.is_alive() for thread in threads), "Escape took %.1f s" % took)
    print("Escape with %d requests answered: ended after %.2f s" % (len(answered), took))


def main():
    with open("timeline.txt", "w") as f:
        f.write(TIMELINE)
    # The sanitizers' runtime wants to come first; the shim only adds a function it does not wrap.
    program = Program(VORDEL, {"LD_PRELOAD": SHIM,
                               "ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0"})
    port, token = str(program.port), program.token
    try:
        client = Client(int(port), token)
        # A second program on the same port: one line, status 69, no window.
        taken = subprocess.run([VORDEL, "--edit", "timeline.txt", "--port", port], capture_output=True, text=True,
                               timeout=30, stdin=subprocess.DEVNULL)
        check(taken.returncode == 69 and taken.stderr.count("\n") == 1 and not taken.stdout,
              "port in use: status %d, %r" % (taken.returncode, taken.stderr))
        status, _, page = client.request("GET", "/", token=False)
        check(status == 200 and b"Vordel editor" in page, "page: %d" % status)
        wait_for(lambda: corner() == "255,0,0", 10, "red corner")
        security_rows(client, int(port))
        model_rows(client)
        transport_and_stream_rows(client, int(port))
        connection_rows(client, int(port), program.process.pid)
        run = Run(program)
        for rows in (stale_model_rows, preview_rows, save_during_write_rows, mistake_rows, pacing_rows,
                     minimised_rows, escape_rows):
            rows(run)
    finally:
        program.kill()
    if failures:
        print("FAILED:", len(failures))
        sys.exit(1)
    print("ok")


main()
