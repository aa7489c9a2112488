#!/usr/bin/env python3
"""Opens an exported web page in headless Chromium and checks it as a visitor's browser
would load it: every request it makes stays inside its folder, nothing is written to its
console as an error, and it reports itself ready; then at each --at second it seeks the
replay there, photographs the view and asks the page where it drew the aircraft, the
track and the ground.

    page_check.py DIR --out OUT [--serve] [--at SECONDS]... [--fragment TEXT] [--timeout SECONDS]

DIR holds index.html; without --serve it is opened as file://, with it from a server of
our own on 127.0.0.1; --fragment opens index.html#TEXT, a link naming a view or a
moment. OUT receives shot-SECONDS.png for each --at and report.json. Prints
one line per problem on stderr and exits 1 when there is any, 2 when the browser cannot be
driven at all. The browser is /usr/bin/chromium, or $FLIGHTREPLAY_CHROMIUM.

The browser is driven through the DevTools protocol over a pipe (--remote-debugging-pipe:
JSON messages ended by NUL, written to its fd 3, read from its fd 4), which needs no
WebSocket client and no port.
"""

import argparse
import base64
import fcntl
import http.server
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

WIDTH, HEIGHT = 1280, 720

# Headless Chromium has no GPU: WebGL comes from ANGLE over SwiftShader. Chromium 156 still
# falls back to it unasked, but warns on the page's console that the fallback is going away;
# --enable-unsafe-swiftshader opts in, and the ANGLE flags pin the path it takes.
FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--use-gl=angle", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
    "--mute-audio", "--hide-scrollbars", f"--window-size={WIDTH},{HEIGHT}",
    "--remote-debugging-pipe",
]


class BrowserError(RuntimeError):
    pass


class PageError(RuntimeError):
    """A script of ours that threw inside the page."""


class Browser:
    """One Chromium process and its DevTools pipe; commands wait for their answers, events
    are handed to the callback on the reading thread."""

    def __init__(self, executable, on_event):
        self.profile = tempfile.mkdtemp(prefix="page-check-profile-")
        to_browser_read, self.to_browser = os.pipe()
        self.from_browser, from_browser_write = os.pipe()
        # Above the browser's 3 and 4, so that placing one end there never closes the other.
        to_browser_read = self._lift(to_browser_read)
        from_browser_write = self._lift(from_browser_write)
        # The shell puts the pipe's ends at the descriptors the browser expects: no code runs
        # in the forked child, which is not safe beside the server's threads.
        script = f'exec "$0" "$@" 3<&{to_browser_read} 4>&{from_browser_write} {to_browser_read}<&- {from_browser_write}>&-'
        self.log = open(os.path.join(self.profile, "stderr.log"), "wb")
        self.process = subprocess.Popen(
            ["/bin/bash", "-c", script, executable, *FLAGS, f"--user-data-dir={self.profile}", "about:blank"],
            pass_fds=(to_browser_read, from_browser_write), stdin=subprocess.DEVNULL,
            stdout=self.log, stderr=self.log)
        os.close(to_browser_read)
        os.close(from_browser_write)
        self.on_event = on_event
        self.next_id = 0
        self.answers = {}
        self.answered = threading.Condition()
        self.closed = False
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    @staticmethod
    def _lift(descriptor):
        lifted = fcntl.fcntl(descriptor, fcntl.F_DUPFD, 10)
        os.close(descriptor)
        return lifted

    def _read(self):
        pending = b""
        while True:
            try:
                chunk = os.read(self.from_browser, 1 << 16)
            except OSError:
                chunk = b""
            if not chunk:
                break
            pending += chunk
            *messages, pending = pending.split(b"\0")
            for text in messages:
                message = json.loads(text)
                if "id" in message:
                    with self.answered:
                        self.answers[message["id"]] = message
                        self.answered.notify_all()
                else:
                    self.on_event(message)
        with self.answered:
            self.closed = True
            self.answered.notify_all()

    def send(self, method, params=None, session=None, timeout=30.0):
        self.next_id += 1
        number = self.next_id
        message = {"id": number, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        with self.answered:
            while number not in self.answers:
                left = deadline - time.monotonic()
                if self.closed or left <= 0:
                    raise BrowserError(f"{method}: {'the browser closed its pipe' if self.closed else 'no answer'}")
                self.answered.wait(left)
            answer = self.answers.pop(number)
        if "error" in answer:
            raise BrowserError(f"{method}: {answer['error'].get('message')}")
        return answer.get("result", {})

    def close(self):
        try:
            self.send("Browser.close", timeout=5.0)
        except (BrowserError, OSError):
            pass
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self.to_browser)
        self.log.close()
        shutil.rmtree(self.profile, ignore_errors=True)

    def stderr_tail(self):
        try:
            with open(os.path.join(self.profile, "stderr.log"), "rb") as file:
                return file.read()[-2000:].decode(errors="replace")
        except OSError:
            return ""


class Server:
    """A static server of DIR on an ephemeral port of 127.0.0.1 that notes every path asked."""

    def __init__(self, folder):
        self.paths = []
        paths = self.paths

        class Handler(http.server.SimpleHTTPRequestHandler):
            def __init__(self, *arguments, **keywords):
                super().__init__(*arguments, directory=folder, **keywords)

            def do_GET(self):
                paths.append(self.path)
                super().do_GET()

            def log_message(self, *arguments):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.origin = f"http://127.0.0.1:{self.httpd.server_address[1]}"
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def outside(url, folder, origin):
    """Why url lies outside the page's folder, or None when it does not."""
    parts = urllib.parse.urlsplit(url)
    if parts.scheme in ("data", "blob", "about"):
        return None
    if parts.scheme == "file" and origin is None:
        path = os.path.realpath(urllib.parse.unquote(parts.path))
        if path == folder or path.startswith(folder + os.sep):
            return None
        return "a file outside the page's folder"
    if origin is not None and f"{parts.scheme}://{parts.netloc}" == origin:
        return None
    return "another origin"


def console_text(arguments):
    texts = []
    for argument in arguments:
        if "value" in argument:
            texts.append(str(argument["value"]))
        else:
            texts.append(argument.get("description", argument.get("type", "")))
    return " ".join(texts)


def main():
    parser = argparse.ArgumentParser(description="Check an exported web page in headless Chromium.")
    parser.add_argument("folder", metavar="DIR", help="the folder that holds index.html")
    parser.add_argument("--out", required=True, help="folder for the screenshots and report.json")
    parser.add_argument("--serve", action="store_true", help="open it from a local server instead of file://")
    parser.add_argument("--at", type=float, action="append", default=[], metavar="SECONDS",
                        help="flight second to seek to and photograph (repeatable)")
    parser.add_argument("--fragment", default="", metavar="TEXT", help="open index.html#TEXT")
    parser.add_argument("--timeout", type=float, default=60.0, help="seconds to wait for the page to be ready (default 60)")
    options = parser.parse_args()

    folder = os.path.realpath(options.folder)
    if not os.path.isfile(os.path.join(folder, "index.html")):
        print(f"page_check: no index.html in {options.folder}", file=sys.stderr)
        return 2
    executable = os.environ.get("FLIGHTREPLAY_CHROMIUM", "/usr/bin/chromium")
    if not os.access(executable, os.X_OK):
        print(f"page_check: no browser at {executable} (scripts/install-browser installs it)", file=sys.stderr)
        return 2
    os.makedirs(options.out, exist_ok=True)

    requests = []
    console = []
    crashes = []

    def on_event(message):
        method = message.get("method")
        params = message.get("params", {})
        if method == "Network.requestWillBeSent":
            requests.append(params["request"]["url"])
        elif method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert", "warning"):
            level = "warning" if params["type"] == "warning" else "error"
            console.append({"level": level, "source": "console", "text": console_text(params.get("args", []))})
        elif method == "Runtime.exceptionThrown":
            details = params.get("exceptionDetails", {})
            text = details.get("exception", {}).get("description") or details.get("text", "exception")
            console.append({"level": "error", "source": "exception", "text": text})
        elif method == "Log.entryAdded" and params["entry"].get("level") in ("error", "warning"):
            entry = params["entry"]
            text = entry.get("text", "") + (f" ({entry['url']})" if entry.get("url") else "")
            console.append({"level": entry["level"], "source": entry.get("source", "log"), "text": text})
        elif method == "Inspector.targetCrashed":
            crashes.append(method)

    server = Server(folder) if options.serve else None
    url = f"{server.origin}/index.html" if server else "file://" + urllib.parse.quote(os.path.join(folder, "index.html"))
    if options.fragment:
        url += "#" + options.fragment
    problems = []
    report = {"url": url, "served": bool(server)}
    browser = Browser(executable, on_event)
    try:
        target = browser.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = browser.send("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]

        def call(method, params=None, timeout=30.0):
            return browser.send(method, params, session, timeout)

        def evaluate(expression, timeout=30.0):
            result = call("Runtime.evaluate", {"expression": expression, "returnByValue": True, "awaitPromise": True},
                          timeout)
            if "exceptionDetails" in result:
                details = result["exceptionDetails"]
                raise PageError(details.get("exception", {}).get("description") or details.get("text"))
            return result["result"].get("value")

        for domain in ("Network", "Runtime", "Log", "Page"):
            call(f"{domain}.enable")
        # CSS pixels are the screenshot's pixels.
        call("Emulation.setDeviceMetricsOverride",
             {"width": WIDTH, "height": HEIGHT, "deviceScaleFactor": 1, "mobile": False})
        call("Emulation.setFocusEmulationEnabled", {"enabled": True})
        report["webgl"] = evaluate("(() => { const c = document.createElement('canvas').getContext('webgl2')"
                                   " || document.createElement('canvas').getContext('webgl'); if (!c) return null;"
                                   " const i = c.getExtension('WEBGL_debug_renderer_info');"
                                   " return i ? c.getParameter(i.UNMASKED_RENDERER_WEBGL) : c.getParameter(c.RENDERER); })()")
        if not report["webgl"]:
            problems.append("the browser offers no WebGL context")

        started = time.monotonic()
        call("Page.navigate", {"url": url})
        ready = False
        while time.monotonic() - started < options.timeout:
            try:
                ready = evaluate("!!(window.flightReplayPage && window.flightReplayPage.ready === true)")
            except (BrowserError, PageError):
                pass  # the old document's context went away under the call
            if ready:
                break
            time.sleep(0.02)
        report["harnessReadyMs"] = round((time.monotonic() - started) * 1000.0, 1) if ready else None
        if not ready:
            problems.append(f"the page was not ready after {options.timeout:g} s")
        else:
            page = evaluate("({firstFrameMs: flightReplayPage.firstFrameMs, duration: flightReplayPage.duration})")
            report.update(page)
            if not isinstance(page.get("firstFrameMs"), (int, float)):
                problems.append("flightReplayPage.firstFrameMs is not a number")

        shots = []
        for seconds in options.at if ready else []:
            name = f"shot-{seconds:g}.png"
            try:
                evaluate(f"new Promise(done => {{ flightReplayPage.seek({seconds!r});"
                         " requestAnimationFrame(() => requestAnimationFrame(() => done(true))); })")
                picture = call("Page.captureScreenshot", {"format": "png"})["data"]
                with open(os.path.join(options.out, name), "wb") as file:
                    file.write(base64.b64decode(picture))
                probes = evaluate("({aircraft: flightReplayPage.aircraftOnScreen(),"
                                  " track: flightReplayPage.trackOnScreen(), ground: flightReplayPage.groundOnScreen()})")
            except PageError as error:
                problems.append(f"at {seconds:g} s the page's interface threw: {error.args[0].splitlines()[0]}")
                continue
            shots.append({"seconds": seconds, "file": name, **probes})
        report["shots"] = shots
    except BrowserError as error:
        print(f"page_check: {error}", file=sys.stderr)
        tail = browser.stderr_tail()
        if tail:
            print(tail, file=sys.stderr)
        return 2
    finally:
        browser.close()
        if server:
            server.close()

    report["requests"] = requests
    report["outside"] = [{"url": request, "why": why} for request in requests
                         if (why := outside(request, folder, server.origin if server else None))]
    if server:
        report["servedPaths"] = server.paths
    report["console"] = console
    if crashes:
        problems.append("the page's renderer crashed")
    for request in report["outside"]:
        problems.append(f"request to {request['why']}: {request['url']}")
    for message in console:
        if message["level"] == "error":
            problems.append(f"console error ({message['source']}): {' '.join(message['text'].split())}")
    report["problems"] = problems
    with open(os.path.join(options.out, "report.json"), "w") as file:
        json.dump(report, file, indent=1)
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
