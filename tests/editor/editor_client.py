"""What the editor's end-to-end scripts share: the real binary started in the current folder (a
scene of display.sh), its standard error, an HTTP client with the run's token, the event stream as
the page reads it, and waits that print the program's thread backtraces before they give up."""
import http.client
import json
import os
import re
import socket
import subprocess
import sys
import time

failures = []
running = []  # the program a wait gives evidence of when it gives up


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)
    return ok


def stderr_text():
    return open("err.txt", errors="replace").read()


class Program:
    """vordel --edit on timeline.txt, any free port; `env` adds to the environment."""

    def __init__(self, vordel, env=None):
        self.process = subprocess.Popen([vordel, "--edit", "timeline.txt", "--port", "0"], stdout=open("out.txt", "w"),
                                        stderr=open("err.txt", "w"), stdin=subprocess.DEVNULL,
                                        env=dict(os.environ, **(env or {})))
        running[:] = [self]
        wait_for(lambda: re.search(r"^editor: http://127\.0\.0\.1:\d+/#[0-9a-f]{32}$", stderr_text(), re.M), 20,
                 "editor line", self)
        wait_for(lambda: "loaded timeline.txt" in stderr_text(), 30, "load", self)
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


def wait_for(condition, seconds, what, program=None):
    end = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > end:
            print("FAIL: no", what, "within", seconds, "s")
            program = program or (running[0] if running else None)
            if program:
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
