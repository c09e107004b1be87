#!/usr/bin/env python3
"""Reads a diary made by the real store the way a reader does: served over
HTTP on 127.0.0.1 and opened in headless Chromium, driven through the
DevTools protocol over a pipe (no third-party modules).

Usage: browser_check.py DIARY_MAKER
Exit 0 when every check passes, 1 on a failed check, 77 (skipped) only when
Chromium is not installed.
"""
import json
import os
import queue
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

CHROMIUM = os.environ.get("QUILLOMAT_CHROMIUM", "/usr/bin/chromium")
TIMEOUT_S = 30


class DevTools:
    """The DevTools protocol over --remote-debugging-pipe: JSON messages
    ended by a NUL byte; the browser reads fd 3 and writes fd 4."""

    def __init__(self, profile):
        to_browser_r, self._to_browser = os.pipe()
        self._from_browser, from_browser_w = os.pipe()
        args = [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--disable-dev-shm-usage", "--remote-debugging-pipe", "--user-data-dir=" + profile, "about:blank"]
        # The shell puts the two pipe ends at the descriptors Chromium expects.
        script = 'exec "$@" 3<&%d 4>&%d' % (to_browser_r, from_browser_w)
        self.process = subprocess.Popen(["sh", "-c", script, "sh"] + args, pass_fds=(to_browser_r, from_browser_w),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self._next_id = 0
        self._replies = {}
        self._events = queue.Queue()
        self._cond = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        buffer = b""
        while True:
            chunk = os.read(self._from_browser, 65536)
            if not chunk:
                with self._cond:
                    self._replies[None] = "closed"
                    self._cond.notify_all()
                return
            buffer += chunk
            while b"\0" in buffer:
                raw, buffer = buffer.split(b"\0", 1)
                message = json.loads(raw)
                if "id" in message:
                    with self._cond:
                        self._replies[message["id"]] = message
                        self._cond.notify_all()
                else:
                    self._events.put(message)

    def call(self, method, params=None, session=None):
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self._to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + TIMEOUT_S
        with self._cond:
            while self._next_id not in self._replies:
                if None in self._replies:
                    raise RuntimeError("browser closed the pipe")
                left = deadline - time.monotonic()
                if left <= 0:
                    raise RuntimeError("no reply to " + method)
                self._cond.wait(left)
            reply = self._replies.pop(self._next_id)
        if "error" in reply:
            raise RuntimeError("%s: %s" % (method, reply["error"]))
        return reply.get("result", {})

    def wait_event(self, method, session):
        deadline = time.monotonic() + TIMEOUT_S
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise RuntimeError("no event " + method)
            try:
                event = self._events.get(timeout=left)
            except queue.Empty:
                continue
            if event.get("method") == method and event.get("sessionId") == session:
                return event

    def drain_events(self):
        while not self._events.empty():
            self._events.get_nowait()

    def close(self):
        try:
            self.call("Browser.close")
        except Exception:
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class Page:
    def __init__(self, tools):
        self.tools = tools
        target = tools.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = tools.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        tools.call("Page.enable", session=self.session)

    def evaluate(self, expression):
        result = self.tools.call("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                      "awaitPromise": True}, session=self.session)
        if "exceptionDetails" in result:
            raise RuntimeError("script failed: %s" % result["exceptionDetails"])
        return result["result"].get("value")

    def navigate(self, url):
        self.tools.drain_events()
        self.tools.call("Page.navigate", {"url": url}, session=self.session)
        self.tools.wait_event("Page.loadEventFired", self.session)

    def click(self, selector):
        self.tools.drain_events()
        self.evaluate("document.querySelector(%s).click()" % json.dumps(selector))
        self.tools.wait_event("Page.loadEventFired", self.session)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def serve(directory):
    port = free_port()
    server = subprocess.Popen([sys.executable, "-m", "http.server", "--bind", "127.0.0.1", "--directory", directory,
                               str(port)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + TIMEOUT_S
    while time.monotonic() < deadline:
        try:
            urllib.request.urlopen("http://127.0.0.1:%d/" % port, timeout=2).read()
            return server, port
        except OSError:
            if server.poll() is not None:
                raise RuntimeError("the HTTP server ended")
            time.sleep(0.1)
    server.kill()
    raise RuntimeError("the HTTP server did not answer")


failures = []


def check(what, actual, expected):
    if actual == expected:
        print("ok   %s" % what)
    else:
        print("FAIL %s: got %r, expected %r" % (what, actual, expected))
        failures.append(what)


IMAGES = "Array.from(document.images).map(i => i.complete && i.naturalWidth > 0)"


def read_diary(page, port):
    base = "http://127.0.0.1:%d/" % port
    page.navigate(base + "preview.html")
    check("index page encoding", page.evaluate("document.characterSet"), "Shift_JIS")
    check("index page title", page.evaluate("document.title"), "保存履歴")
    check("month headings", page.evaluate(
        "Array.from(document.querySelectorAll('td[colspan=\"7\"] > b')).map(b => b.textContent)"),
        ["2024年 2月", "2024年 1月"])
    check("linked days", page.evaluate(
        "Array.from(document.querySelectorAll('td[bgcolor=\"#FFFFD4\"] a')).map(a => a.textContent)"),
        ["5", "20", "30"])
    check("newest pictures loaded", page.evaluate(IMAGES), [True] * 5)

    page.click('a[href="./20240205/preview.html"]')
    check("day page address", page.evaluate("location.href"), base + "20240205/preview.html")
    check("day page title", page.evaluate("document.title"), "2024年02月05日(月)")
    check("day page thumbnails loaded", page.evaluate(IMAGES), [True] * 3)
    check("day page thumbnail size", page.evaluate(
        "Array.from(document.images).map(i => [i.width, i.height, i.naturalWidth])"), [[80, 60, 160]] * 3)


def main():
    if not (os.path.isfile(CHROMIUM) and os.access(CHROMIUM, os.X_OK)):
        print("SKIPPED: Chromium not found at %s (scripts/install-deps installs it)" % CHROMIUM)
        return 77
    maker = sys.argv[1]
    work = tempfile.mkdtemp(prefix="quillomat-browser-")
    server = tools = None
    try:
        diary = os.path.join(work, "diary")
        os.mkdir(diary)
        subprocess.run([maker, diary], check=True, timeout=TIMEOUT_S)
        server, port = serve(diary)
        profile = os.path.join(work, "profile")
        os.mkdir(profile)
        tools = DevTools(profile)
        read_diary(Page(tools), port)
    finally:
        if tools:
            tools.close()
        if server:
            server.terminate()
            server.wait()
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
