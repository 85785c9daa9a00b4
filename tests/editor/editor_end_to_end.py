"""The editor's server against the real binary, run by editor_end_to_end.sh in a scratch folder
on a display of its own. One run of the program: every refusal of one table, the model, the
transport, the event stream, a save from a text editor, and (once the edit library is in) an edit
of one column, its picture, a stale version and the undo; then Escape and a clean exit."""
import json
import math
import os
import re
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from editor_client import Client, Program, Stream, check, corner, failures, stderr_text, wait_for  # noqa: E402

VORDEL = sys.argv[1]
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

def security_rows(client, port):
    """Each refusal: its status, a one-line JSON reason, no CORS headers, nothing changed."""
    foreign = {"Origin": "http://evil.example"}
    rows = [
        ("no token", "GET", "/api/timeline", None, {}, False, 401),
        ("wrong token", "GET", "/api/timeline", None, {"Authorization": "Bearer " + "0" * 32}, False, 401),
        ("bad Host", "GET", "/", None, {"Host": "evil.example:%d" % port}, True, 403),
        ("bad Host on the API", "GET", "/api/timeline", None, {"Host": "evil.example"}, True, 403),
        ("foreign Origin on POST", "POST", "/api/transport", '{"action": "pause"}', foreign, True, 403),
        ("foreign Origin on events", "GET", "/api/events", None, foreign, True, 403),
        ("body over 1 MB", "POST", "/api/edit", " " * (1048576 + 1), {}, True, 413),
        ("unknown path", "GET", "/nothing.js", None, {}, True, 404),
        ("unknown API path", "POST", "/api/nothing", "{}", {}, True, 404),
        ("path traversal", "GET", "/../timeline.txt", None, {}, True, 404),
        ("encoded traversal", "GET", "/%2e%2e/timeline.txt", None, {}, True, 404),
        ("encoded slash", "GET", "/..%2ftimeline.txt", None, {}, True, 404),
        ("OPTIONS", "OPTIONS", "/api/edit", None, dict(foreign, **{"Access-Control-Request-Method": "POST"}), True, 405),
        ("malformed JSON", "POST", "/api/edit", "{", {}, True, 400),
        ("missing ops", "POST", "/api/edit", '{"version": 1}', {}, True, 400),
        ("unknown track", "POST", "/api/edit", '{"version": 1, "ops": [{"op": "delete", "track": "x", "row": 0}]}', {},
         True, 400),
        ("seek past the end", "POST", "/api/transport", '{"action": "seek", "row": 99999}', {}, True, 400),
    ]
    before_text, before_err = open("timeline.txt", "rb").read(), stderr_text().count("\n")
    for name, method, path, body, headers, token, status in rows:
        seen, answer_headers, answer = client.request(method, path, body, headers, token)
        names = [header.lower() for header, _ in answer_headers]
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
        ("two Host headers", host + "Host: evil.example\r\n", b"", 400, "more than one Host header"),
        ("empty Origin on POST", host + bearer + "Origin:\r\nContent-Length: 2\r\n", b"{}", 403, "empty Origin refused"),
        ("empty Origin on events", host + bearer + "Origin: \r\n", b"", 403, "empty Origin refused"),
        ("header without a colon", host + "nonsense\r\n", b"", 400, "header line 2 is not NAME: VALUE"),
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
            check(grown < 4096, "8 MB in chunks grew the program by %d kB" % grown)
    check(raw(port, b"GET /\r\n\r\n") == (400, "the request line is not METHOD /PATH HTTP/1.1"), "bad request line")

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
        time.sleep(0.2)
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
    print("connections: %d raw refusals, slow clients, stream slots" % (len(rows) + 1))


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
    return model


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
    print("events while playing: %.1f a second (at least 30 wanted)" % rate)
    check(rate >= 15 and rows_move, "events while playing: %.1f a second, rows moving %s" % (rate, rows_move))
    # A save from a text editor, with the stream open: the time until it shows the new version.
    client.json("POST", "/api/transport", '{"action": "pause"}')
    version = seen[-1][1]["version"]
    while stream.next(0.05):
        pass
    start = time.monotonic()
    with open("timeline.txt", "a") as f:
        f.write("# saved by hand\n")
    event = stream.next(3.0)
    while event and event[1]["version"] == version:
        event = stream.next(3.0 - (time.monotonic() - start))
    check(event is not None and event[1]["load"]["ok"], "a save did not reach the stream")
    if event:
        print("text-editor save to the event stream: %.0f ms (100 ms wanted)" % ((event[0] - start) * 1000))
    stream.close()


def edit_rows(client, model):
    original = open("timeline.txt", "rb").read()
    status, answer = client.json("POST", "/api/edit", json.dumps(
        {"version": model["version"], "ops": [{"op": "set", "track": "clear.b", "row": 0, "value": 1}]}))
    check(status == 200 and answer["version"] > model["version"], "edit: %d %s" % (status, answer))
    after = open("timeline.txt", "rb").read()
    changed = [(a, b) for a, b in zip(original.split(b"\n"), after.split(b"\n")) if a != b]
    check(len(original.split(b"\n")) == len(after.split(b"\n")) and len(changed) == 1, "edit changed %s" % changed)
    if len(changed) == 1:
        old, new = changed[0][0].split(), changed[0][1].split()
        check([i for i, (a, b) in enumerate(zip(old, new)) if a != b] == [3] and new[3] == b"1",
              "edit changed columns: %r -> %r" % changed[0])
    client.json("POST", "/api/transport", '{"action": "seek", "row": 8}')
    wait_for(lambda: corner() == "255,0,255", 5, "magenta corner after the edit")
    status, answer = client.json("POST", "/api/edit", json.dumps(
        {"version": model["version"], "ops": [{"op": "delete", "track": "clear.r", "row": 400}]}))
    check(status == 409 and "reload" in answer["error"], "stale version: %d %s" % (status, answer))
    check(open("timeline.txt", "rb").read() == after, "a stale edit changed the file")
    status, answer = client.json("POST", "/api/undo", "{}")
    check(status == 200 and open("timeline.txt", "rb").read() == original, "undo: %d %s" % (status, answer))
    wait_for(lambda: corner() == "255,0,0", 5, "red corner after the undo")
    print("edits: one column, the picture, a stale version, the undo")


def main():
    with open("timeline.txt", "w") as f:
        f.write(TIMELINE)
    program = Program(VORDEL)
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
        model = model_rows(client)
        transport_and_stream_rows(client, int(port))
        connection_rows(client, int(port), program.process.pid)
        status, model = client.json("GET", "/api/timeline")
        edit_rows(client, model)
        # Escape ends the program cleanly, even with a stream open.
        stream = Stream(int(port), token)
        check(stream.next(5) is not None, "no event before Escape")
        window = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Vordel$"], capture_output=True,
                                text=True).stdout.split()
        subprocess.run(["xdotool", "windowfocus", "--sync", window[0], "key", "Escape"], timeout=5)
        check(program.process.wait(timeout=20) == 0, "status after Escape")
        check(open("out.txt").read().endswith("finito"), "no finito")
        stream.close()
    finally:
        program.kill()
    if failures:
        print("FAILED:", len(failures))
        sys.exit(1)
    print("ok")


main()
