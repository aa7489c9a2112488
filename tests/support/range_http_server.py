#!/usr/bin/env python3
"""A small HTTP server for the fetch tests: files under ROOT with byte ranges (GDAL reads
remote rasters in ranges), one request line per request in LOG (time, method, path, range,
user agent, status, the client's port: one a connection), and faults named in ROOT/.faults,
one "KIND PATH-PREFIX" a line:
  busy  - the first request under it answers 429 with Retry-After: 1
  busydate - the same with Retry-After as an HTTP date a second ahead
  html  - every path under it answers 200 with an HTML page, as a portal or an error page does
  NNN   - every path under it answers that status (401, 403, ...)
  cut   - the body stops half-way and the connection closes
  stall - the body stops half-way and nothing more comes for a minute
  any   - the prefix answers with the file ROOT/.any for every path under it
Prints the port it listens on, on 127.0.0.1, then serves until killed."""
import email.utils
import http.server
import math
import os
import re
import sys
import time

root, log = sys.argv[1], sys.argv[2]
answered_busy = set()


def faults():
    try:
        with open(os.path.join(root, ".faults")) as f:
            return [line.split() for line in f if len(line.split()) == 2]
    except OSError:
        return []


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def record(self, status):
        with open(log, "a") as f:
            f.write("%.3f %s %s %s %s %d %d\n" % (time.time(), self.command, self.path, self.headers.get("Range", "-").replace(" ", ""),
                                                  self.headers.get("User-Agent", "-").replace(" ", "_"), status, self.client_address[1]))

    def answer(self, status, body=b"", headers=()):
        self.record(status)
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        path = self.path.split("?")[0]
        matching = [(kind, prefix) for kind, prefix in faults() if path.startswith(prefix)]
        kinds = {kind for kind, _ in matching}
        for kind, prefix in matching:
            if kind in ("busy", "busydate") and (kind, prefix) not in answered_busy:
                answered_busy.add((kind, prefix))
                after = "1" if kind == "busy" else email.utils.formatdate(math.ceil(time.time()) + 1, usegmt=True)
                return self.answer(429, b"busy", [("Retry-After", after)])
        for kind, prefix in matching:
            if kind.isdigit():
                return self.answer(int(kind), b"refused")
            if kind == "html":
                return self.answer(200, b"<!DOCTYPE html>\n<html><body>Please sign in</body></html>\n", [("Content-Type", "text/html")])
        name = os.path.join(root, ".any") if "any" in kinds else os.path.join(root, path.lstrip("/"))
        if not os.path.isfile(name):
            return self.answer(404, b"not found")
        with open(name, "rb") as f:
            data = f.read()
        if "cut" in kinds or "stall" in kinds:
            self.record(200)
            self.send_response(200)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data[: len(data) // 2])
            self.wfile.flush()
            if "stall" in kinds:
                time.sleep(60)
            self.close_connection = True
            return
        match = re.match(r"bytes=(\d+)-(\d*)$", self.headers.get("Range", ""))
        if match:
            first = int(match.group(1))
            last = min(int(match.group(2)) if match.group(2) else len(data) - 1, len(data) - 1)
            return self.answer(206, data[first: last + 1], [("Content-Range", "bytes %d-%d/%d" % (first, last, len(data))), ("Accept-Ranges", "bytes")])
        self.answer(200, data, [("Accept-Ranges", "bytes")])


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
