#!/usr/bin/env python3
"""Local HTTPS server that answers like the Slack Web API, for tests.

It serves https://slack.com/api/... inside a sandbox (tools/sandbox maps
slack.com to 127.0.0.1 and makes the test CA the only trusted one), records
every request it receives and answers each one according to a list of modes
that the test writes beforehand.

State directory (--state DIR), shared with the tests:
  mode            modes separated by commas or newlines; request n (0-based,
                  n = lines already in requests.jsonl) gets entry min(n, last).
                  Missing or empty means "ok". Re-read for every request.
  requests.jsonl  one JSON object per request, written before the reply; one
                  that is answered "ok" has the "ts" of its reply in it;
                  "received" is when it arrived (seconds of time.monotonic()).
  connections     number of TLS handshakes completed so far.
  ready           created once the server listens.

Modes: ok, error=TEXT, ratelimited[=SECONDS], okfalse, array, nook,
okstring, html503, empty, cutoff, redirect, stall, close, large.

"ok" answers as the service does for a message it posted, with the message's
own time stamp "ts": "1700000000.000001" for request 0, one more in the last
digits for each request after it.
"""

import argparse
import http.server
import json
import os
import re
import signal
import socket
import ssl
import sys
import threading
import time
import urllib.parse

STALL_SECONDS = 120
IDLE_SECONDS = 150
HANDSHAKE_SECONDS = 30
LARGE_PADDING = 5 * 1024 * 1024

HTML_503 = (b"<!DOCTYPE html>\n<html><head><title>503 Service Unavailable</title></head>\n"
            b"<body><h1>Service Unavailable</h1><p>Please try again later.</p></body></html>\n")
HTML_302 = (b"<!DOCTYPE html>\n<html><head><title>302 Found</title></head>\n"
            b"<body><a href=\"https://elsewhere.example/api/chat.postMessage\">Moved</a></body></html>\n")
REDIRECT_TARGET = "https://elsewhere.example/api/chat.postMessage"


def decode_form(body: bytes):
    """Split an application/x-www-form-urlencoded body the way form servers do.

    Pairs are split on "&" and then on the first "="; "+" is a blank and %XX
    is the byte XX. Duplicates and order are kept; empty pieces are skipped.
    """
    pairs = []
    for piece in body.split(b"&"):
        if not piece:
            continue
        name, _, value = piece.partition(b"=")
        pairs.append((urllib.parse.unquote_to_bytes(name.replace(b"+", b" ")),
                      urllib.parse.unquote_to_bytes(value.replace(b"+", b" "))))
    return pairs


def message_ts(n: int) -> str:
    """The "ts" of the message that request n (0-based) posted."""
    return "1700000000.%06d" % (n + 1)


def parse_modes(text: str):
    modes = [m.strip() for m in re.split(r"[,\n]", text)]
    modes = [m for m in modes if m]
    return modes or ["ok"]


class State:
    """The state directory, guarded by one lock so records stay whole."""

    def __init__(self, directory):
        self.dir = directory
        self.lock = threading.Lock()
        self.handshakes = 0
        self._counted = None  # (inode, bytes counted, lines counted)
        self.requests_path = os.path.join(directory, "requests.jsonl")
        self.mode_path = os.path.join(directory, "mode")

    def _path(self, name):
        return os.path.join(self.dir, name)

    def _write_atomically(self, name, data: bytes):
        tmp = self._path("." + name + ".tmp")
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, self._path(name))

    def count_connection(self):
        with self.lock:
            self.handshakes += 1
            self._write_atomically("connections", b"%d\n" % self.handshakes)
            return self.handshakes

    def _read_modes(self):
        try:
            with open(self.mode_path, encoding="utf-8", errors="replace") as f:
                return parse_modes(f.read())
        except FileNotFoundError:
            return ["ok"]

    def _recorded_count(self):
        """Lines in requests.jsonl. Only this server appends to it and a test
        can only empty it, so a file that has not shrunk needs only its new
        tail counted."""
        try:
            st = os.stat(self.requests_path)
        except FileNotFoundError:
            self._counted = None
            return 0
        known = self._counted
        if known is None or known[0] != st.st_ino or st.st_size < known[1]:
            known = (st.st_ino, 0, 0)
        ino, offset, count = known
        with open(self.requests_path, "rb") as f:
            f.seek(offset)
            while True:
                chunk = f.read(1 << 20)
                if not chunk:
                    break
                count += chunk.count(b"\n")
                offset += len(chunk)
        self._counted = (ino, offset, count)
        return count

    def record(self, entry: dict):
        """Appends the request and returns the mode that answers it; a request
        answered "ok" gets the "ts" of its reply in `entry` too."""
        with self.lock:
            n = self._recorded_count()
            modes = self._read_modes()
            if modes[min(n, len(modes) - 1)] == "ok":
                entry["ts"] = message_ts(n)
            line = (json.dumps(entry, ensure_ascii=True) + "\n").encode("ascii")
            fd = os.open(self.requests_path, os.O_WRONLY | os.O_APPEND | os.O_CREAT, 0o644)
            try:
                view = memoryview(line)
                while view:
                    written = os.write(fd, view)
                    view = view[written:]
            finally:
                os.close(fd)
            return modes[min(n, len(modes) - 1)]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body go out in two writes; without this the body waits for
    # the client's delayed acknowledgement (about 40 ms a reply).
    disable_nagle_algorithm = True
    timeout = IDLE_SECONDS

    def __init__(self, request, client_address, server, connection_id=0):
        self.connection_id = connection_id
        super().__init__(request, client_address, server)

    def version_string(self):
        return "slack-standin"

    def log_message(self, fmt, *args):
        sys.stderr.write("[standin] conn %d: %s\n" % (self.connection_id, fmt % args))
        sys.stderr.flush()

    def _read_body(self) -> bytes:
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            body = bytearray()
            while True:
                size_line = self.rfile.readline(65537)
                size = int(size_line.split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline(65537) not in (b"\r\n", b"\n", b""):
                        pass
                    return bytes(body)
                body += self.rfile.read(size)
                self.rfile.readline(65537)
        length = int(self.headers.get("Content-Length", "0") or "0")
        return self.rfile.read(length) if length > 0 else b""

    def _handle(self):
        try:
            body = self._read_body()
        except (ValueError, OSError) as e:
            self.log_message("could not read body: %s", e)
            self.close_connection = True
            return
        params = decode_form(body)
        entry = {
            "received": time.monotonic(),
            "method": self.command,
            "path": self.path,
            "connection": self.connection_id,
            "headers": [[k, v] for k, v in self.headers.items()],
            "body_hex": body.hex(),
            "params": [[n.hex(), v.hex()] for n, v in params],
            "body": body.decode("utf-8", errors="replace"),
            "text_params": [[n.decode("utf-8", errors="replace"),
                             v.decode("utf-8", errors="replace")] for n, v in params],
        }
        mode = self.server.state.record(entry)
        self.reply_ts = entry.get("ts", "")
        self.log_message("%s %s -> %s", self.command, self.path, mode)
        self._answer(mode)

    def _send(self, status, body: bytes, content_type="application/json; charset=utf-8",
              extra_headers=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        for name, value in extra_headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()

    def _answer(self, mode):
        if mode == "ok":
            self._send(200, json.dumps({"ok": True, "ts": self.reply_ts},
                                       separators=(",", ":")).encode("utf-8"))
        elif mode.startswith("error="):
            text = mode[len("error="):]
            self._send(200, json.dumps({"ok": False, "error": text},
                                       separators=(",", ":")).encode("utf-8"))
        elif mode == "ratelimited" or mode.startswith("ratelimited="):
            # The service's rate limit: 429, and the seconds to wait when the
            # mode names them.
            seconds = mode[len("ratelimited="):] if "=" in mode else None
            self._send(429, b'{"ok":false,"error":"ratelimited"}',
                       extra_headers=[("Retry-After", seconds)] if seconds else ())
        elif mode == "okfalse":
            self._send(200, b'{"ok":false}')
        elif mode == "array":
            self._send(200, b"[1,2]")
        elif mode == "nook":
            self._send(200, b'{"channel":"C1"}')
        elif mode == "okstring":
            self._send(200, b'{"ok":"true"}')
        elif mode == "html503":
            self._send(503, HTML_503, "text/html; charset=utf-8")
        elif mode == "empty":
            self._send(200, b"")
        elif mode == "cutoff":
            self._send(200, b'{"ok":tr')
        elif mode == "redirect":
            self._send(302, HTML_302, "text/html; charset=utf-8",
                       [("Location", REDIRECT_TARGET)])
        elif mode == "large":
            self._send(200, self.server.large_body())
        elif mode == "stall":
            self.close_connection = True
            self.server.stopping.wait(STALL_SECONDS)
        elif mode == "close":
            self.close_connection = True
            self.send_response(200)
            self.send_header("Content-Type", "application/json; charset=utf-8")
            self.send_header("Content-Length", "100")
            self.end_headers()
            self.wfile.write(b'{"ok":true')
            self.wfile.flush()
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        else:
            self.log_message("unknown mode %r", mode)
            self._send(500, ("stand-in: unknown mode %r\n" % mode).encode("utf-8"),
                       "text/plain; charset=utf-8")

    do_POST = do_GET = do_PUT = do_DELETE = do_PATCH = do_HEAD = do_OPTIONS = _handle


class StandInServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    block_on_close = False
    allow_reuse_address = True

    def __init__(self, address, state, context):
        self.state = state
        self.context = context
        self.stopping = threading.Event()
        self._large = None
        self._large_lock = threading.Lock()
        super().__init__(address, Handler)

    def large_body(self):
        with self._large_lock:
            if self._large is None:
                self._large = b'{"ok":true,"padding":"' + b"x" * LARGE_PADDING + b'"}'
            return self._large

    def finish_request(self, request, client_address):
        # The handshake runs here, on the connection's own thread, so a client
        # that never completes it cannot hold up the accept loop.
        request.settimeout(HANDSHAKE_SECONDS)
        try:
            tls = self.context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError) as e:
            sys.stderr.write("[standin] handshake failed: %s\n" % e)
            sys.stderr.flush()
            return
        try:
            connection_id = self.state.count_connection()
            Handler(tls, client_address, self, connection_id)
        except (ssl.SSLError, OSError) as e:
            sys.stderr.write("[standin] connection %s ended: %s\n" % (client_address, e))
            sys.stderr.flush()
        finally:
            try:
                tls.close()
            except OSError:
                pass

    def handle_error(self, request, client_address):
        sys.stderr.write("[standin] error on %s: %s\n" % (client_address, sys.exc_info()[1]))
        sys.stderr.flush()



def serve_silently(host, port, state_dir):
    """Accepts TCP connections and never says a word."""
    listener = socket.create_server((host, port), backlog=64, reuse_port=False)
    held = []
    open(os.path.join(state_dir, "ready"), "w").close()
    while True:
        conn, _ = listener.accept()
        held.append(conn)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--state", required=True, help="state directory")
    parser.add_argument("--cert", help="server certificate (PEM)")
    parser.add_argument("--key", help="server private key (PEM)")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=443)
    parser.add_argument("--silent", action="store_true",
                        help="accept TCP connections and never answer")
    args = parser.parse_args()

    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    os.makedirs(args.state, exist_ok=True)

    if args.silent:
        serve_silently(args.host, args.port, args.state)
        return 0

    if not args.cert or not args.key:
        parser.error("--cert and --key are required")
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    state = State(args.state)
    server = StandInServer((args.host, args.port), state, context)
    open(os.path.join(args.state, "ready"), "w").close()
    sys.stderr.write("[standin] listening on %s:%d\n" % (args.host, args.port))
    sys.stderr.flush()
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.stopping.set()
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
