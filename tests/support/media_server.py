#!/usr/bin/env python3
"""The one local HTTP(S) server of the tests and benchmarks.

    media_server.py FOLDER [HOST] [PORT] [--tls KEYS] [--cookie VALUE]

Serves FOLDER on HOST (default 127.0.0.1). Prints one line once it listens,
"PORT <n> SILENT <s>" and, with --tls, " TLS <t>"; PORT 0 picks free ports.
Serves until its standard input closes (or it is killed). With --tls it
first makes, with openssl, a CA of its own (KEYS/ca.pem, the certificate a
client must trust) and a certificate for HOST signed by it. With --cookie,
.html pages set the cookie "vidarro_test=VALUE" and every other file of
FOLDER answers 403 to a request without it (routes are answered as given).

Plain paths:
    /NAME                  the file, with Range support (206 / 416), a strong
                           ETag and Last-Modified of its size and time, If-Range
                           honoured (a range only while it names them, else 200),
                           and "Cache-Control: no-cache" so browsers ask each time
    /throttle/RATE/NAME    the same, at most RATE bytes per second
    /status/CODE/NAME      that status code, no body
    /live/NAME.m3u8        the finished media playlist NAME.m3u8 as a live one: from
                           the first request of that address (query and all) on, a window of its
                           last three segments out by then, the media sequence
                           advancing with the clock, no #EXT-X-ENDLIST until its
                           last segment is out (so it ends by itself)

FOLDER/routes.json, re-read at every request, maps a path (without query)
to an answer given byte for byte:
    status   "200 OK"          the status line after "HTTP/1.1 "
    headers  ["Name: value"]   header lines sent exactly as given
    file     "NAME"            the body, a file of FOLDER (else no body)
    framing  "length"          adds Content-Length unless a header has one
             "close"           adds nothing; the close ends the body
             "chunked"         adds Transfer-Encoding: chunked unless given
    split    N                 head + N body bytes in one write, a pause, the rest
    stall    N                 head + N body bytes, then nothing more
    cut      N                 head + N body bytes, then the connection closes
    rate     N                 body at most N bytes per second
    made     N                 a body of N made-up bytes instead of a file (-1: endless)
    ranges   true              a Range request gets 206 and the part of the file, with
                               "Content-Range: bytes a-b/TOTAL" after the given headers;
                               with If-Range, only when it equals a given ETag or
                               Last-Modified header (else 200 and the whole file).
                               Without ranges a Range request gets the route as given.
Writing the table again with other headers (a new ETag) changes a route at once.
Without split, the head goes out with the first 64 KB of the body in one write.
Strings stand for bytes one to one (Latin-1).

The SILENT port accepts connections and never sends a byte (a server that
never answers, or a TLS handshake that never completes). Every request head
is kept, before it is answered, as FOLDER/heads/<number>, numbered from 1 in
the order of arrival.

The PROXY port (printed last, "PROXY <p>") is an HTTP proxy to loopback
addresses only (others get 403): a plain request in absolute form, or a
CONNECT tunnel; one request per connection. Each head it gets is kept as
FOLDER/proxied/<number> before it goes on.
"""
import email.utils
import ipaddress
import select
import http
import json
import os
import re
import socket
import socketserver
import ssl
import subprocess
import sys
import threading
import time

ROOT = ""
LOCK = threading.Lock()
TYPES = {".mp4": "video/mp4", ".webm": "video/webm", ".mp3": "audio/mpeg",
         ".flv": "video/x-flv", ".html": "text/html; charset=utf-8", ".bin": "application/octet-stream",
         ".m3u8": "application/vnd.apple.mpegurl", ".ts": "video/mp2t", ".mpd": "application/dash+xml",
         ".m4s": "video/iso.segment"}
FIRST_WRITE = 65536
MADE = bytes(range(256)) * 4096
MAX_HEAD = 1 << 20


def folder_file(name):
    name = os.path.normpath(name.lstrip("/"))
    full = os.path.join(ROOT, name)
    if name.startswith("..") or not os.path.isfile(full):
        return None
    return full


def routes():
    try:
        with open(os.path.join(ROOT, "routes.json"), encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return {}


COUNT = {}


def note(head, kind="heads"):
    folder = os.path.join(ROOT, kind)
    with LOCK:
        COUNT[kind] = COUNT.get(kind, 0) + 1
        os.makedirs(folder, exist_ok=True)
        # Whole or not at all: the tests read the folder at any time.
        with open(os.path.join(folder, ".new"), "wb") as f:
            f.write(head)
        os.rename(os.path.join(folder, ".new"), os.path.join(folder, "%d" % COUNT[kind]))


def make_certificates(keys, host):
    def openssl(*args):
        subprocess.run(["openssl", *args], check=True, capture_output=True)
    path = lambda name: os.path.join(keys, name)
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    openssl("req", "-x509", *ec, "-days", "2", "-keyout", path("ca.key"), "-out", path("ca.pem"), "-subj",
            "/CN=Vidarro Test CA", "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
            "keyUsage=critical,keyCertSign")
    openssl("req", *ec, "-keyout", path("server.key"), "-out", path("server.csr"), "-subj", "/CN=" + host)
    with open(path("server.ext"), "w") as f:
        f.write("subjectAltName=IP:%s\n" % host)
    openssl("x509", "-req", "-in", path("server.csr"), "-CA", path("ca.pem"), "-CAkey", path("ca.key"),
            "-CAcreateserial", "-days", "2", "-extfile", path("server.ext"), "-out", path("server.pem"))
    return path("server.pem"), path("server.key")


class Body:
    """A slice of a file, bytes, or made-up bytes (length -1: endless)."""

    def __init__(self, data=b"", path=None, start=0, length=None, made=False):
        self.data, self.path, self.start, self.made = data, path, start, made
        self.length = len(data) if length is None else length

    def pieces(self, chunked):
        left = self.length
        source = open(self.path, "rb") if self.path else None
        if source:
            source.seek(self.start)
        block = MADE if self.made else b""
        at = 0
        while left != 0:
            size = 1 << 20 if left < 0 else min(left, 1 << 20)
            if source:
                piece = source.read(size)
            elif self.made:
                piece = block[:size]
            else:
                piece = self.data[at:at + size]
                at += len(piece)
            if not piece:
                break
            left -= len(piece)
            yield b"%x\r\n%s\r\n" % (len(piece), piece) if chunked else piece
        if source:
            source.close()
        if chunked:
            yield b"0\r\n\r\n"


class Stream:
    """Reads a body's pieces in sizes of the caller's choosing."""

    def __init__(self, pieces):
        self.pieces, self.rest = pieces, b""

    def read(self, size):
        while len(self.rest) < size:
            piece = next(self.pieces, None)
            if piece is None:
                break
            self.rest += piece
        out, self.rest = self.rest[:size], self.rest[size:]
        return out


class Answer:
    def __init__(self, status, headers, body=None, framing="length", split=-1, stall=-1, cut=-1, rate=0):
        self.status, self.headers, self.body = status, headers, body or Body()
        self.framing, self.split, self.stall, self.cut, self.rate = framing, split, stall, cut, rate


def latin(text):
    return text.encode("latin-1")


def byte_range(range_header, size):
    """(start, end) of "bytes=a-b", "bytes=a-" or "bytes=-n"; None without a
    range; (0, -1) when it cannot be satisfied."""
    m = re.match(rb"bytes=(\d*)-(\d*)$", range_header or b"")
    if not m or not (m.group(1) or m.group(2)):
        return None
    if m.group(1):
        start = int(m.group(1))
        end = min(int(m.group(2)), size - 1) if m.group(2) else size - 1
    else:
        start, end = max(0, size - int(m.group(2))), size - 1
    return (start, end) if start <= end else (0, -1)


def honoured(if_range, validators):
    """Whether a Range goes with this If-Range: none given, or one of ours."""
    return if_range is None or if_range in validators


def from_route(entry, range_header, if_range=None):
    body = Body()
    status = latin(entry.get("status", "200 OK"))
    headers = [latin(h) for h in entry.get("headers", [])]
    if entry.get("made"):
        body = Body(length=int(entry["made"]), made=True)
    elif entry.get("file"):
        full = folder_file(entry["file"])
        if full:
            size = os.path.getsize(full)
            body = Body(path=full, length=size)
            given = [h.partition(b":")[2].strip() for h in headers
                     if h.partition(b":")[0].strip().lower() in (b"etag", b"last-modified")]
            part = byte_range(range_header, size) if entry.get("ranges") and honoured(if_range, given) else None
            if part == (0, -1):
                return Answer(b"416 Range Not Satisfiable", [b"Content-Range: bytes */%d" % size, b"Content-Length: 0"])
            if part:
                status = b"206 Partial Content"
                headers.append(b"Content-Range: bytes %d-%d/%d" % (part[0], part[1], size))
                body = Body(path=full, start=part[0], length=part[1] - part[0] + 1)
    return Answer(status, headers, body, entry.get("framing", "length"), int(entry.get("split", -1)),
                  int(entry.get("stall", -1)), int(entry.get("cut", -1)), int(entry.get("rate", 0)))


def empty(code):
    try:
        reason = http.HTTPStatus(code).phrase
    except ValueError:
        reason = "Status"
    return Answer(b"%d %s" % (code, latin(reason)), [b"Content-Length: 0"])


def file_answer(full, range_header, if_range, rate):
    info = os.stat(full)
    size = info.st_size
    etag = b'"%x-%x"' % (info.st_mtime_ns, size)
    modified = latin(email.utils.formatdate(info.st_mtime, usegmt=True))
    headers = [b"Content-Type: " + latin(TYPES.get(os.path.splitext(full)[1].lower(),
                                                    "application/octet-stream")),
               b"ETag: " + etag, b"Last-Modified: " + modified, b"Cache-Control: no-cache"]
    start, end = 0, size - 1
    part = byte_range(range_header, size) if honoured(if_range, (etag, modified)) else None
    status = b"200 OK"
    if part:
        start, end = part
        if start > end:
            return Answer(b"416 Range Not Satisfiable", [b"Content-Range: bytes */%d" % size, b"Content-Length: 0"])
        status = b"206 Partial Content"
        headers.append(b"Content-Range: bytes %d-%d/%d" % (start, end, size))
    headers.append(b"Accept-Ranges: bytes")
    return Answer(status, headers, Body(path=full, start=start, length=end - start + 1), rate=rate)


LIVE_WINDOW = 3
LIVE_STARTS = {}


def live_playlist(name, target):
    """The window of the finished playlist NAME that is out by now, or None;
    each address (query and all) has its own clock."""
    full = folder_file(name)
    if not full:
        return None
    with open(full, encoding="utf-8", errors="replace") as f:
        lines = f.read().splitlines()
    segments, length = [], None
    for line in lines:
        if line.startswith("#EXTINF:"):
            length = float(line[8:].split(",", 1)[0] or 0)
        elif line and not line.startswith("#") and length is not None:
            segments.append((length, line))
            length = None
    with LOCK:
        start = LIVE_STARTS.setdefault(target, time.monotonic())
    elapsed, begun, out = time.monotonic() - start, 0.0, 0
    for length, _ in segments:
        if begun > elapsed:
            break
        begun += length
        out += 1
    first = max(0, out - LIVE_WINDOW)
    where = "/" + os.path.dirname(os.path.normpath(name.lstrip("/")))
    text = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:%d\n#EXT-X-MEDIA-SEQUENCE:%d\n" % (
        max([int(length + 0.999) for length, _ in segments] or [1]), first)
    for length, uri in segments[first:out]:
        text += "#EXTINF:%.3f,\n%s\n" % (length, uri if "://" in uri or uri.startswith("/") else where.rstrip("/") + "/" + uri)
    if out == len(segments) and elapsed >= begun:
        text += "#EXT-X-ENDLIST\n"
    return Answer(b"200 OK", [b"Content-Type: application/vnd.apple.mpegurl", b"Cache-Control: no-cache"],
                  Body(latin(text)))


def choose(target, range_header, if_range=None):
    path = target.split(b"?", 1)[0].decode("latin-1")
    table = routes()
    if path in table:
        return from_route(table[path], range_header, if_range)
    m = re.match(r"^/status/(\d{3})/", path)
    if m:
        return empty(int(m.group(1)))
    if path.startswith("/live/") and path.endswith(".m3u8"):
        return live_playlist(path[5:], target) or empty(404)
    rate = 0
    m = re.match(r"^/throttle/(\d+)(/.*)$", path)
    if m:
        rate, path = int(m.group(1)), m.group(2)
    full = folder_file(path)
    return file_answer(full, range_header, if_range, rate) if full else empty(404)


# The cookie of --cookie, when given.
COOKIE = None


def cookie_rule(target, head, answer):
    """A site whose media need the cookie its pages set."""
    path = target.split(b"?", 1)[0].decode("latin-1")
    if not COOKIE or path in routes():
        return answer
    if path.endswith(".html"):
        answer.headers += [b"Set-Cookie: vidarro_test=%s; Path=/; SameSite=Lax; Max-Age=3600" % COOKIE, b"Cache-Control: no-store"]
        return answer
    return answer if b"vidarro_test=" + COOKIE in (header_value(head, b"cookie") or b"") else empty(403)


def has_header(lines, name):
    return any(line.split(b":", 1)[0].strip().lower() == name for line in lines)


def hold(conn):
    """Sends nothing more; waits for the client to go."""
    try:
        while conn.recv(65536):
            pass
    except OSError:
        pass


def send(conn, answer, with_body):
    headers = list(answer.headers)
    if answer.framing == "length" and not has_header(headers, b"content-length"):
        headers.append(b"Content-Length: %d" % answer.body.length)
    if answer.framing == "chunked" and not has_header(headers, b"transfer-encoding"):
        headers.append(b"Transfer-Encoding: chunked")
    head = b"HTTP/1.1 " + answer.status + b"\r\n" + b"".join(h + b"\r\n" for h in headers) + b"\r\n"
    if not with_body:
        conn.sendall(head)
        return True
    body = Stream(answer.body.pieces(answer.framing == "chunked"))
    first = [answer.stall, answer.cut, answer.split, 0 if answer.rate else FIRST_WRITE]
    conn.sendall(head + body.read(next(n for n in first if n >= 0)))
    if answer.stall >= 0:
        hold(conn)
        return False
    if answer.cut >= 0:
        return False
    if answer.split >= 0:
        time.sleep(0.05)
    plain = answer.body.path and answer.framing != "chunked" and not isinstance(conn, ssl.SSLSocket)
    if plain and not answer.rate:
        # Large files go out by sendfile, so the server is never the limit.
        with open(answer.body.path, "rb") as f:
            sent = min(FIRST_WRITE, answer.body.length) if answer.split < 0 else answer.split
            if answer.body.length > sent:
                conn.sendfile(f, answer.body.start + sent, answer.body.length - sent)
        return answer.framing != "close"
    step = max(1, min(16384, answer.rate // 10)) if answer.rate else 1 << 20
    while True:
        piece = body.read(step)
        if not piece:
            break
        conn.sendall(piece)
        if answer.rate:
            time.sleep(len(piece) / answer.rate)
    return answer.framing != "close"


def read_head(conn, pending):
    while b"\r\n\r\n" not in pending:
        if len(pending) > MAX_HEAD:
            return None, b""
        data = conn.recv(65536)
        if not data:
            return None, b""
        pending += data
    end = pending.index(b"\r\n\r\n") + 4
    return pending[:end], pending[end:]


def header_value(head, name):
    for line in head.split(b"\r\n")[1:]:
        key, _, value = line.partition(b":")
        if key.strip().lower() == name:
            return value.strip()
    return None


def serve_connection(conn):
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    pending = b""
    while True:
        head, pending = read_head(conn, pending)
        if head is None:
            return
        parts = head.split(b"\r\n", 1)[0].split(b" ")
        method, target = parts[0], parts[1] if len(parts) > 1 else b"/"
        note(head)
        answer = choose(target, header_value(head, b"range"), header_value(head, b"if-range"))
        answer = cookie_rule(target, head, answer)
        if not send(conn, answer, method != b"HEAD"):
            return
        if (header_value(head, b"connection") or b"").lower() == b"close":
            return


class Handler(socketserver.BaseRequestHandler):
    context = None

    def handle(self):
        conn = self.request
        try:
            if self.context:
                conn = self.context.wrap_socket(conn, server_side=True)
            serve_connection(conn)
        except (OSError, ssl.SSLError):
            pass
        finally:
            try:
                conn.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


class TlsHandler(Handler):
    pass


class SilentHandler(socketserver.BaseRequestHandler):
    def handle(self):
        hold(self.request)


def relay(a, b):
    """Bytes both ways until either side closes or is quiet for two minutes."""
    while True:
        ready = select.select([a, b], [], [], 120)[0]
        data = ready and ready[0].recv(65536)
        if not data:
            return
        (b if ready[0] is a else a).sendall(data)


class ProxyHandler(socketserver.BaseRequestHandler):
    def handle(self):
        conn = self.request
        try:
            head, rest = read_head(conn, b"")
            note(head, "proxied")
            method, target, version = (head.split(b"\r\n", 1)[0].split(b" ") + [b"", b""])[:3]
            m = re.match(rb"(?:http://)?([^/:]+):?(\d*)(/[^ ]*)?$", target)
            host, port, path = (m.group(1), int(m.group(2) or 80), m.group(3) or b"/") if m else (b"", 0, b"")
            if not ipaddress.ip_address(socket.gethostbyname(host.decode("latin-1") or "0.0.0.0")).is_loopback:
                return conn.sendall(b"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
            with socket.create_connection((host.decode("latin-1"), port), timeout=30) as upstream:
                if method == b"CONNECT":
                    conn.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
                else:
                    hop = (b"connection", b"proxy-connection", b"proxy-authorization", b"keep-alive")
                    lines = [l for l in head.split(b"\r\n")[1:] if l and l.split(b":", 1)[0].strip().lower() not in hop]
                    upstream.sendall(b"%s %s %s\r\n" % (method, path, version)
                                     + b"".join(l + b"\r\n" for l in lines) + b"Connection: close\r\n\r\n" + rest)
                relay(conn, upstream)
        except (OSError, ValueError, TypeError, AttributeError):
            pass
        finally:
            conn.close()


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    global ROOT, COOKIE
    args = sys.argv[1:]
    if "--cookie" in args:
        at = args.index("--cookie")
        COOKIE, args = latin(args[at + 1]), args[:at] + args[at + 2:]
    keys = None
    if "--tls" in args:
        at = args.index("--tls")
        keys, args = args[at + 1], args[:at] + args[at + 2:]
    ROOT = os.path.abspath(args[0])
    host = args[1] if len(args) > 1 else "127.0.0.1"
    port = int(args[2]) if len(args) > 2 else 0
    servers = [Server((host, port), Handler), Server((host, 0), SilentHandler)]
    line = "PORT %d SILENT %d" % (servers[0].server_address[1], servers[1].server_address[1])
    if keys:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*make_certificates(keys, host))
        TlsHandler.context = context
        servers.append(Server((host, 0), TlsHandler))
        line += " TLS %d" % servers[2].server_address[1]
    servers.append(Server((host, 0), ProxyHandler))
    line += " PROXY %d" % servers[-1].server_address[1]
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    print(line, flush=True)
    # The owner closes our input (or dies): then we go too.
    try:
        sys.stdin.read()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
