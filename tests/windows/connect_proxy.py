#!/usr/bin/env python3
"""A small HTTP proxy for https addresses, for the wine tests: it takes
CONNECT requests, writes each target to its log, one a line, and relays the
bytes both ways. Nothing else is served.

    connect_proxy.py --port PORT --log FILE --ready FILE

Runs inside tools/sandbox, listening on 127.0.0.1; every connection ends
after 60 s without a byte either way.
"""

import argparse
import signal
import socket
import sys
import threading

IDLE_SECONDS = 60


def relay(source, target):
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            target.sendall(data)
    except OSError:
        pass
    finally:
        for s in (source, target):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def serve(client, log, lock):
    client.settimeout(IDLE_SECONDS)
    try:
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = client.recv(4096)
            if not chunk or len(head) > 16384:
                return
            head += chunk
        request, _, rest = head.partition(b"\r\n\r\n")
        method, target, _ = (request.split(b"\r\n", 1)[0].decode("latin-1").split(" ") + ["", ""])[:3]
        with lock:
            with open(log, "a") as f:
                f.write("%s %s\n" % (method, target))
        host, _, port = target.rpartition(":")
        if method != "CONNECT" or not host or not port.isdigit():
            client.sendall(b"HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n")
            return
        try:
            upstream = socket.create_connection((host, int(port)), timeout=10)
        except OSError:
            client.sendall(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n")
            return
        upstream.settimeout(IDLE_SECONDS)
        client.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
        if rest:
            upstream.sendall(rest)
        back = threading.Thread(target=relay, args=(upstream, client), daemon=True)
        back.start()
        relay(client, upstream)
        back.join(IDLE_SECONDS)
        upstream.close()
    except OSError:
        pass
    finally:
        client.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--ready", required=True)
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    listener = socket.create_server(("127.0.0.1", args.port), backlog=16)
    open(args.log, "a").close()
    open(args.ready, "w").close()
    lock = threading.Lock()
    while True:
        client, _ = listener.accept()
        threading.Thread(target=serve, args=(client, args.log, lock), daemon=True).start()


if __name__ == "__main__":
    main()
