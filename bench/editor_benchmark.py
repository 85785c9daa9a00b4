"""Figures of the editor's server, printed (see editor_benchmark.sh): an edit to its answer (file
written and installed), a preview to its answer, GET /api/timeline cached and after a change, the
frames a second and the CPU playing and paused, the frame rate with the event stream running
against without, edits of a 10,000-key timeline, and what
the undo history of large edits costs the program in memory."""
import functools
import glob
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

VORDEL = sys.argv[1]
RUNS = 100
print = functools.partial(print, flush=True)


class Demo:
    def __init__(self, timeline):
        self.err = open("err.txt", "w")
        self.program = subprocess.Popen([VORDEL, "--edit", timeline, "--port", "0"], stdout=subprocess.DEVNULL,
                                        stderr=self.err, stdin=subprocess.DEVNULL)
        end = time.monotonic() + 60
        while not re.search(r"^loaded", open("err.txt").read(), re.M):
            if time.monotonic() > end or self.program.poll() is not None:
                sys.exit("the demo did not start: " + open("err.txt").read())
            time.sleep(0.02)
        port, self.token = re.search(r"editor: http://127\.0\.0\.1:(\d+)/#(\w+)", open("err.txt").read()).groups()
        self.port = int(port)
        self.connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        self.request("GET", "/api/waveform")  # the music is decoded

    def request(self, method, path, body=None):
        headers = {"Authorization": "Bearer " + self.token}
        for _ in range(2):  # the server closes a kept-alive connection after a few requests
            try:
                self.connection.request(method, path, body=body, headers=headers)
                response = self.connection.getresponse()
                return response.status, response.read()
            except (http.client.HTTPException, ConnectionError):
                self.connection.close()
        sys.exit("no answer to " + path)

    def json(self, method, path, body=None):
        status, answer = self.request(method, path, body)
        return status, json.loads(answer)

    def stop(self):
        self.program.kill()
        self.program.wait()


def timed(action):
    start = time.perf_counter()
    result = action()
    return (time.perf_counter() - start) * 1000, result


def report(name, figures, target=None):
    figures = sorted(figures)
    wanted = "" if target is None else " (wanted: median <= %g ms)" % target
    print("%-44s median %7.2f ms  worst %7.2f ms  of %d%s" % (name, statistics.median(figures), figures[-1],
                                                          len(figures), wanted))


def edits(demo, track, rows, runs, label, target):
    figures = []
    for i in range(runs):
        _, model = demo.json("GET", "/api/timeline")
        op = {"op": "set", "track": track, "row": rows[i % len(rows)], "value": 0.25 + 0.001 * i, "interp": "linear"}
        milliseconds, (status, answer) = timed(
            lambda: demo.json("POST", "/api/edit", json.dumps({"version": model["version"], "ops": [op]})))
        if status != 200:
            print("%-44s not measured: %d %s" % (label, status, answer.get("error")))
            return
        figures.append(milliseconds)
    report(label, figures, target)


def pacing(demo):
    """Playing, then paused and idle: the frames a second against the refresh the demo paces to,
    and the CPU the whole program takes, over five seconds each."""
    def cpu_s():
        fields = open("/proc/%d/stat" % demo.program.pid).read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    for action in ("play", "pause"):
        first = demo.json("POST", "/api/transport", '{"action": "%s"}' % action)[1]
        start, cpu = time.monotonic(), cpu_s()
        time.sleep(5)
        last = demo.json("POST", "/api/transport", '{"action": "%s"}' % action)[1]
        seconds = time.monotonic() - start
        print("%s: %.1f frames a second (paced to %g Hz), %.1f %% of a core" % (
            "playing" if action == "play" else "paused and idle", (last["frames"] - first["frames"]) / seconds,
            last["refresh"], (cpu_s() - cpu) / seconds * 100))


def frame_rates(demo):
    """The demo's own fps (from the transport's state answer) without, then with, a stream."""
    stop = threading.Event()

    def read_stream():
        sock = socket.create_connection(("127.0.0.1", demo.port))
        sock.sendall(("GET /api/events HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nAuthorization: Bearer %s\r\n\r\n"
                      % (demo.port, demo.token)).encode())
        while not stop.is_set() and sock.recv(65536):
            pass
        sock.close()

    def cpu_ns():
        """Time on a CPU, in ns, of the frame loop (the main thread and the software renderer's
        threads) and of all other threads (the server's, the audio's): what a stream costs, whatever
        else runs on the machine."""
        frame_loop, others = 0, 0
        for task in glob.glob("/proc/%d/task/*" % demo.program.pid):
            try:
                ns = int(open(task + "/schedstat").read().split()[0])
                name = open(task + "/comm").read()
            except (OSError, IndexError, ValueError):
                continue
            if task.endswith("/%d" % demo.program.pid) or name.startswith("llvmpipe"):
                frame_loop += ns
            else:
                others += ns
        return frame_loop, others

    def sample(seconds):
        values, end, start, cpu = [], time.monotonic() + seconds, time.monotonic(), cpu_ns()
        while time.monotonic() < end:
            time.sleep(0.5)
            values.append(demo.json("POST", "/api/transport", '{"action": "play"}')[1]["fps"])
        now = cpu_ns()
        costs.append([(b - a) / 1e6 / (time.monotonic() - start) for a, b in zip(cpu, now)])
        return statistics.median(values)

    costs = []  # alternately without and with a stream
    without, with_stream = [], []
    for _ in range(6):  # alternating over the same rows, so a drift of the machine's load falls on both
        demo.json("POST", "/api/transport", '{"action": "seek", "row": 0}')
        without.append(sample(3))
        demo.json("POST", "/api/transport", '{"action": "seek", "row": 0}')
        stop.clear()
        reader = threading.Thread(target=read_stream)
        reader.start()
        with_stream.append(sample(3))
        stop.set()
        reader.join()
    a, b = statistics.median(without), statistics.median(with_stream)
    print("frame time without a stream %.2f ms, with one %.2f ms: %+.1f %% (wanted within 2 %%; rounds %s)"
          % (1000 / a, 1000 / b, (a / b - 1) * 100,
             " ".join("%+.0f%%" % ((x / y - 1) * 100) for x, y in zip(without, with_stream))))
    frame_loop = statistics.median(c[0] for c in costs)
    others_without = statistics.median(c[1] for c in costs[0::2])
    others_with = statistics.median(c[1] for c in costs[1::2])
    print("CPU of the threads beside the frame loop: %.1f ms/s without a stream, %.1f ms/s with one; "
          "the stream's %.1f ms/s is %.1f %% of the frame loop's %.0f ms/s"
          % (others_without, others_with, others_with - others_without,
             (others_with - others_without) / frame_loop * 100, frame_loop))


def synthetic_timeline():
    """Twenty tracks of 500 keys each, every other row: 10,000 keys."""
    lines = []
    for name in ["scene", "clear.r", "clear.g", "clear.b", "fade.r", "fade.g", "fade.b", "fade.a", "cam.x", "cam.y",
                 "cam.z", "cam.lookx", "cam.looky", "cam.lookz", "scp.a", "scp.b", "scp.c", "fog", "text.i",
                 "text.fade"]:
        lines.append("track " + name)
        value = {"cam.z": 5, "scene": 0}.get(name, 0.1)
        lines += ["  %d  %g  linear" % (row, value + (row % 7) * 0.01 * (name != "scene")) for row in range(0, 1000, 2)]
    return "\n".join(lines) + "\n"


def commented_timeline():
    """About 5 MB: nineteen tracks at 0 and fog with 1,100 keys, each below a long comment that is
    the same for every key, so that an edit's lines stand only once with much of the text around."""
    names = ["scene", "clear.r", "clear.g", "clear.b", "fade.r", "fade.g", "fade.b", "fade.a", "cam.x", "cam.y",
             "cam.z", "cam.lookx", "cam.looky", "cam.lookz", "scp.a", "scp.b", "scp.c", "text.i", "text.fade"]
    comment = "# " + "a long note on the key below " * 150 + "\n"
    return ("track " + " ".join(names) + "\n  0" + " 0" * len(names) + " hold\ntrack fog\n" +
            "".join("%s  %d  0.1  linear\n" % (comment, row) for row in range(1100)))


def resident_mb(demo):
    return int(re.search(r"VmRSS:\s+(\d+)", open("/proc/%d/status" % demo.program.pid).read()).group(1)) / 1024


def history_memory(demo):
    """40 edits of 600 keys each: the program's growth, which the history's byte bound caps."""
    before = resident_mb(demo)
    for i in range(40):
        _, model = demo.json("GET", "/api/timeline")
        ops = [{"op": "set", "track": "fog", "row": row, "value": 0.2 + 0.001 * i, "interp": "linear"}
               for row in range(i * 10 % 500, 1100)[:600]]
        status, answer = demo.json("POST", "/api/edit", json.dumps({"version": model["version"], "ops": ops}))
        if status != 200:
            print("history memory not measured: %d %s" % (status, answer.get("error")))
            return
    print("40 edits of 600 keys in a %.1f MB timeline: the program grew by %.0f MB (the history keeps at most 64 MiB)"
          % (len(commented_timeline()) / 1e6, resident_mb(demo) - before))


def main():
    demo = Demo("timeline.txt")
    try:
        edits(demo, "clear.r", [0], RUNS, "POST /api/edit, bundled timeline", 20)
        figures = [timed(lambda: demo.request("POST", "/api/preview",
                                              '{"track": "clear.r", "row": 0, "value": %g}' % (i / 100)))[0]
                   for i in range(RUNS)]
        report("POST /api/preview to its answer", figures)
        report("GET /api/timeline", [timed(lambda: demo.request("GET", "/api/timeline"))[0] for _ in range(RUNS)], 10)
        changed = []
        for i in range(20):
            # A save nobody has asked the model of yet: the watch builds it meanwhile.
            with open("timeline.txt", "a") as f:
                f.write("# change %d\n" % i)
            time.sleep(0.1)
            changed.append(timed(lambda: demo.request("GET", "/api/timeline"))[0])
        report("GET /api/timeline 0.1 s after a save", changed, 10)
        pacing(demo)
        frame_rates(demo)
    finally:
        demo.stop()
    with open("large.txt", "w") as f:
        f.write(synthetic_timeline())
    demo = Demo("large.txt")
    try:
        report("GET /api/timeline, 10,000 keys", [timed(lambda: demo.request("GET", "/api/timeline"))[0]
                                                  for _ in range(20)], 10)
        edits(demo, "cam.x", list(range(0, 1000, 2)), 20, "POST /api/edit, 10,000 keys", 50)
    finally:
        demo.stop()
    with open("commented.txt", "w") as f:
        f.write(commented_timeline())
    demo = Demo("commented.txt")
    try:
        history_memory(demo)
    finally:
        demo.stop()


main()
