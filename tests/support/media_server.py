#!/usr/bin/env python3
"""Tiny HTTP server for the test fixtures: serves one folder on one address.

    media_server.py FOLDER [HOST] [PORT]

Prints "PORT <n>" once it listens (PORT 0 picks a free one) and serves until
killed or until its standard input closes. Paths:
    /NAME                  the file, with Range support
    /throttle/RATE/NAME    the same, at most RATE bytes per second
    /status/CODE/NAME      answers with that status code and no body
Each request line is appended to FOLDER/requests.log ("GET /page.html").
"""
import http.server
import os
import re
import socketserver
import sys
import threading
import time

ROOT = os.path.abspath(sys.argv[1])
HOST = sys.argv[2] if len(sys.argv) > 2 else "127.0.0.1"
PORT = int(sys.argv[3]) if len(sys.argv) > 3 else 0

LOG_LOCK = threading.Lock()
TYPES = {".mp4": "video/mp4", ".webm": "video/webm", ".mp3": "audio/mpeg",
         ".flv": "video/x-flv", ".html": "text/html; charset=utf-8", ".bin": "application/octet-stream"}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def route(self):
        path = self.path.split("?", 1)[0]
        rate = 0
        m = re.match(r"^/status/(\d{3})/", path)
        if m:
            return int(m.group(1)), None, 0
        m = re.match(r"^/throttle/(\d+)/(.*)$", path)
        if m:
            rate, path = int(m.group(1)), "/" + m.group(2)
        name = os.path.normpath(path.lstrip("/"))
        full = os.path.join(ROOT, name)
        if name.startswith("..") or not os.path.isfile(full):
            return 404, None, 0
        return 200, full, rate

    def note(self):
        with LOG_LOCK, open(os.path.join(ROOT, "requests.log"), "a") as log:
            log.write("%s %s\n" % (self.command, self.path))

    def do_HEAD(self):
        self.note()
        self.answer(body=False)

    def do_GET(self):
        self.note()
        self.answer(body=True)

    def answer(self, body):
        status, full, rate = self.route()
        if full is None:
            self.send_response(status)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        size = os.path.getsize(full)
        start, end = 0, size - 1
        m = re.match(r"bytes=(\d*)-(\d*)$", self.headers.get("Range", ""))
        if m and (m.group(1) or m.group(2)):
            if m.group(1):
                start = int(m.group(1))
                end = min(int(m.group(2)), size - 1) if m.group(2) else size - 1
            else:
                start = max(0, size - int(m.group(2)))
            if start > end:
                self.send_response(416)
                self.send_header("Content-Range", "bytes */%d" % size)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            self.send_response(206)
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, size))
        else:
            self.send_response(200)
        ext = os.path.splitext(full)[1].lower()
        self.send_header("Content-Type", TYPES.get(ext, "application/octet-stream"))
        self.send_header("Content-Length", str(end - start + 1))
        self.send_header("Accept-Ranges", "bytes")
        self.end_headers()
        if not body:
            return
        with open(full, "rb") as f:
            f.seek(start)
            left = end - start + 1
            step = 16384 if not rate else max(1, min(16384, rate // 10))
            while left > 0:
                data = f.read(min(step, left))
                if not data:
                    break
                try:
                    self.wfile.write(data)
                except (BrokenPipeError, ConnectionResetError):
                    return
                left -= len(data)
                if rate:
                    time.sleep(len(data) / rate)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    server = Server((HOST, PORT), Handler)
    print("PORT %d" % server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    # The owner closes our input (or dies): then we go too.
    try:
        sys.stdin.read()
    except KeyboardInterrupt:
        pass
    server.shutdown()


if __name__ == "__main__":
    main()
