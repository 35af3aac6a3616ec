#!/usr/bin/env python3
"""A local HTTPS media site for the browser-capture tests.

    tls_media_server.py FOLDER HOST COOKIE

Makes in FOLDER, during the run: a test CA and a server certificate for
HOST signed by it (openssl), clip.mp4 (H.264 + AAC) and tune.mp3 (MP3),
each over 100,000 bytes (ffmpeg), and page.html with a <video> and an
<audio> of them that also fetches list.m3u8 (an HLS playlist) and
generic.mp4 (served as application/octet-stream). Then serves FOLDER over TLS on HOST and a free port and
prints "ready PORT" on stdout. The page sets the cookie "vidarro_test=COOKIE";
every other path answers 403 without that cookie, and supports one byte
range. Each "/go" is answered, with a redirect to page.html, only after a
line "go" arrives on stdin for it: a browser can wait there until the test
is ready. Each request is logged on
stderr as "METHOD PATH STATUS cookie=yes|no". Ends when stdin closes.
"""

import http.server
import os
import ssl
import subprocess
import sys
import threading

TYPES = {".html": "text/html; charset=utf-8", ".mp4": "video/mp4", ".mp3": "audio/mpeg",
         ".m3u8": "application/vnd.apple.mpegurl"}
PAGE = """<!DOCTYPE html>
<html><head><title>Browser capture test</title></head><body>
<video src="clip.mp4" autoplay muted preload="auto"></video>
<audio src="tune.mp3" autoplay muted preload="auto"></audio>
<script>fetch("list.m3u8"); fetch("generic.mp4");</script>
</body></html>
"""


def run(*command):
    subprocess.run(command, check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_certificates(folder, host):
    ca_key, ca_cert = f"{folder}/ca.key", f"{folder}/ca.pem"
    key, csr, cert = f"{folder}/server.key", f"{folder}/server.csr", f"{folder}/server.pem"
    ext = f"{folder}/server.ext"
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
        "-subj", "/CN=Vidarro test CA", "-keyout", ca_key, "-out", ca_cert)
    run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", f"/CN={host}",
        "-keyout", key, "-out", csr)
    with open(ext, "w") as f:
        f.write(f"subjectAltName=IP:{host}\nextendedKeyUsage=serverAuth\n")
    run("openssl", "x509", "-req", "-in", csr, "-CA", ca_cert, "-CAkey", ca_key,
        "-CAcreateserial", "-days", "2", "-extfile", ext, "-out", cert)
    return cert, key


def make_media(folder):
    ffmpeg = ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"]
    run(*ffmpeg, "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=4",
        "-f", "lavfi", "-i", "sine=frequency=440:duration=4",
        "-c:v", "libx264", "-b:v", "600k", "-pix_fmt", "yuv420p", "-c:a", "aac",
        "-movflags", "+faststart", f"{folder}/clip.mp4")
    run(*ffmpeg, "-f", "lavfi", "-i", "sine=frequency=660:duration=8",
        "-c:a", "libmp3lame", "-b:a", "128k", f"{folder}/tune.mp3")
    with open(f"{folder}/page.html", "w") as f:
        f.write(PAGE)
    with open(f"{folder}/list.m3u8", "w") as f:
        f.write("#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXTINF:4.0,\nclip.mp4\n#EXT-X-ENDLIST\n")
    with open(f"{folder}/generic.mp4", "wb") as f:
        f.write(b"\0" * 1000)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        path = self.path.split("?")[0].lstrip("/")
        has_cookie = f"vidarro_test={self.server.cookie}" in (self.headers.get("Cookie") or "")
        if path == "go":
            self.server.go.acquire()
            self.send_response(303)
            self.send_header("Location", "/page.html")
            self.send_header("Content-Length", "0")
            self.end_headers()
            return self.log(303, has_cookie)
        name = os.path.basename(path)
        file = os.path.join(self.server.folder, name)
        extension = os.path.splitext(name)[1]
        if extension not in TYPES or not os.path.isfile(file):
            return self.answer(404, has_cookie)
        if extension != ".html" and not has_cookie:
            return self.answer(403, has_cookie)
        with open(file, "rb") as f:
            data = f.read()
        status, first, last = 200, 0, len(data) - 1
        ranges = self.headers.get("Range", "")
        if ranges.startswith("bytes=") and "," not in ranges:
            start, _, end = ranges[6:].partition("-")
            if start.isdigit() and int(start) < len(data):
                status, first = 206, int(start)
                last = min(int(end), last) if end.isdigit() else last
        self.send_response(status)
        generic = name.startswith("generic.")
        self.send_header("Content-Type", "application/octet-stream" if generic else TYPES[extension])
        self.send_header("Content-Length", str(last - first + 1))
        self.send_header("Accept-Ranges", "bytes")
        if status == 206:
            self.send_header("Content-Range", f"bytes {first}-{last}/{len(data)}")
        if extension == ".html":
            self.send_header("Set-Cookie", f"vidarro_test={self.server.cookie}; Path=/; SameSite=Lax")
            self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(data[first:last + 1])
        self.log(status, has_cookie)

    def answer(self, status, has_cookie):
        self.send_response(status)
        self.send_header("Content-Length", "0")
        self.end_headers()
        self.log(status, has_cookie)

    def log(self, status, has_cookie):
        print(f"{self.command} {self.path} {status} cookie={'yes' if has_cookie else 'no'}",
              file=sys.stderr, flush=True)

    def log_message(self, *args):
        pass


def main():
    folder, host, cookie = sys.argv[1:4]
    cert, key = make_certificates(folder, host)
    make_media(folder)
    server = http.server.ThreadingHTTPServer((host, 0), Handler)
    server.daemon_threads = True
    server.folder, server.cookie = folder, cookie
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    server.go = threading.Semaphore(0)
    print(f"ready {server.server_address[1]}", flush=True)
    for line in sys.stdin:
        if line.strip() == "go":
            server.go.release()
    server.go.release(100)
    server.shutdown()


if __name__ == "__main__":
    main()
