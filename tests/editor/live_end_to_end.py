"""The live timeline on the real binary, run by live_end_to_end.sh in a scratch folder on a display
of its own, with the editor's flush of the timeline held by a preloaded shim when the test asks:
every refusal pinned, a model that always holds its version's keys under a stream of saves, a
preview taken back, a save that lands during the editor's write, an undo that would break the file,
edits, seeks and undo with the window minimised, and Escape with requests in flight."""
import json
import os
import re
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from editor_client import Client, Program, Stream, check, corner, failures, wait_for, window_id  # noqa: E402

VORDEL, SHIM = sys.argv[1], sys.argv[2]


def timeline(clear="1 0 0", fog8="  8  0  hold\n"):
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
            wait_for(lambda: state is not None, 0, "version for a save", self.program)
            self.version = state["version"]
        else:
            wait_for(lambda: (self.stream.next(0.5) or (0, {"load": {"ok": True}}))[1]["load"]["ok"] is False, 10,
                     "mistake on the stream", self.program)

    def edit(self, *ops, version=None):
        status, answer = self.client.json("POST", "/api/edit", {"version": version or self.version, "ops": list(ops)})
        if status == 200:
            self.version = answer["version"]
        return status, answer


def refusal_rows(run):
    v = run.version
    rows = [
        ("undo with nothing to undo", "/api/undo", "{}", 409, "nothing to undo"),
        ("redo with nothing to redo", "/api/redo", "{}", 409, "nothing to redo"),
        ("malformed request", "/api/edit", "{", 400, "the body is not a JSON object"),
        ("bad op", "/api/edit", json.dumps({"version": v, "ops": [{"op": "jump", "track": "fog", "row": 0}]}), 400,
         'edit 1: unknown op "jump" (set, delete or move)'),
        ("stale version", "/api/edit", json.dumps({"version": v + 7, "ops": [{"op": "delete", "track": "fog", "row": 0}]}),
         409, "the timeline changed (version %d); reload" % v),
    ]
    before = file_text()
    for name, path, body, status, error in rows:
        seen, answer = run.client.json("POST", path, body)
        check((seen, answer) == (status, {"error": error}), "%s: %d %s" % (name, seen, answer))
    check(file_text() == before, "a refusal changed the file")


def stale_model_rows(run):
    """Each save, then the model the page fetches on the stream's event, then an edit made from it
    (the interpolation key's): the model holds the saved keys, and the save survives the edit."""
    undone = 0
    for i in range(1, 21):
        value = i / 64
        run.saved(timeline("1 %s 0" % value))
        model = run.model()
        held = keys(model, "clear.g")[0]["value"]
        check(held == value, "save %d: the model for version %d holds %s, not %s" % (i, model["version"], held, value))
        run.edit({"op": "set", "track": "clear.g", "row": 0, "value": held, "interp": "linear"}, version=model["version"])
        undone += keys(run.model(), "clear.g")[0]["value"] != value
    check(undone == 0, "%d of 20 saves undone by an edit from the model" % undone)
    print("saves and models: 20 saves, %d undone" % undone)


def preview_rows(run):
    run.saved(timeline())
    run.client.json("POST", "/api/transport", {"action": "seek", "row": 4})
    wait_for(lambda: corner() == "255,0,0", 10, "red corner", run.program)
    status, _ = run.client.json("POST", "/api/preview", {"track": "clear.b", "row": 0, "value": 1})
    check(status == 200, "preview: %d" % status)
    wait_for(lambda: corner() == "255,0,255", 10, "magenta corner in the preview", run.program)
    status, _ = run.client.json("POST", "/api/preview", [])
    check(status == 200, "empty preview: %d" % status)
    wait_for(lambda: corner() == "255,0,0", 10, "red corner once the preview is taken back", run.program)
    print("preview: shown, then taken back")


def save_during_write_rows(run):
    """The editor's flush held; a text editor saves meanwhile; the flush goes on."""
    open("hold-flush", "w").close()
    answers = []
    editing = threading.Thread(target=lambda: answers.append(
        run.edit({"op": "set", "track": "clear.b", "row": 0, "value": 0.5, "interp": "hold"})))
    editing.start()
    wait_for(lambda: os.path.exists("flush-held"), 10, "the editor's write to reach its flush", run.program)
    authors = timeline("0 1 0")
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


def undo_rows(run):
    status, _ = run.edit({"op": "delete", "track": "fog", "row": 8})
    check(status == 200, "delete between comments: %d" % status)
    authors = file_text().replace("# fog one\n", "  8  5  hold\n# fog one\n")
    run.saved(authors)
    status, answer = run.client.json("POST", "/api/undo", "{}")
    check(status == 409 and "row 8" in answer["error"] and "line" in answer["error"] and "dropped" in answer["error"],
          "undo onto a changed text: %d %s" % (status, answer))
    check(file_text() == authors, "the refused undo changed the file")
    print("undo refused: " + answer["error"])
    run.saved(timeline("0 1 0", fog8="  8  5  hold\n tilt\n"), ok=False)
    status, answer = run.edit({"op": "delete", "track": "fog", "row": 8})
    check(status == 409 and answer["error"].startswith("the timeline has a mistake: timeline.txt:"),
          "edit of a file with a mistake: %d %s" % (status, answer))
    run.saved(timeline("1 0 0"))


def timed_edits(run, count):
    times = []
    for i in range(count):
        value = (i % 4) / 4
        start = time.monotonic()
        status, _ = run.edit({"op": "set", "track": "clear.b", "row": 0, "value": value, "interp": "hold"})
        times.append((time.monotonic() - start) * 1000)
        check(status == 200 and keys(run.model(), "clear.b")[0]["value"] == value, "edit %d: %d" % (i, status))
    return statistics.median(times), max(times)


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
        f.write(timeline())
    program = Program(VORDEL, {"LD_PRELOAD": SHIM})
    try:
        run = Run(program)
        run.client.json("POST", "/api/transport", {"action": "pause"})
        for rows in (refusal_rows, stale_model_rows, preview_rows, save_during_write_rows, undo_rows, minimised_rows,
                     escape_rows):
            rows(run)
    finally:
        program.kill()
    if failures:
        print("FAILED:", len(failures))
        program.evidence() if program.process.poll() is None else None
        sys.exit(1)
    print("ok")


main()
