#!/usr/bin/env python3
"""Relays TCP connections with a fixed one-way delay in each direction, so
that a client on the loopback meets the round trip of a real network.

    latency_relay.py --listen PORT --to PORT --delay-ms MS [--ready FILE]

Listens on 127.0.0.1:PORT; each connection is joined to 127.0.0.1:TO. Every
chunk read from one side is written to the other MS milliseconds after it
arrived, in the order it arrived: each direction has a queue of
(due time, bytes) and a writer that waits for the head's time, so chunks
overlap in flight as packets on a wire do. The kernel completes the
client's connect at once; to stand in for that handshake's round trip, a
connection's first bytes from the client wait one round trip more.
Creates FILE once it listens. Stops on SIGTERM.
"""

import argparse
import asyncio
import os
import signal
import socket
import time

CHUNK = 65536


def no_delay(writer):
    sock = writer.get_extra_info("socket")
    if sock is not None:
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)


async def pump(reader, writer, delay, first_extra):
    """Copies reader to writer, each chunk `delay` seconds late."""
    queue = asyncio.Queue()

    async def read_side():
        extra = first_extra
        while True:
            try:
                data = await reader.read(CHUNK)
            except (ConnectionError, OSError):
                data = b""
            queue.put_nowait((time.monotonic() + delay + extra, data))
            extra = 0.0
            if not data:
                return

    async def write_side():
        while True:
            due, data = await queue.get()
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            try:
                if not data:
                    if writer.can_write_eof():
                        writer.write_eof()
                    return
                writer.write(data)
                await writer.drain()
            except (ConnectionError, OSError):
                return

    await asyncio.gather(read_side(), write_side())


async def serve(args):
    delay = args.delay_ms / 1000.0

    async def handle(client_reader, client_writer):
        no_delay(client_writer)
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", args.to)
        except OSError:
            client_writer.close()
            return
        no_delay(server_writer)
        try:
            await asyncio.gather(
                pump(client_reader, server_writer, delay, 2 * delay),
                pump(server_reader, client_writer, delay, 0.0))
        finally:
            for w in (client_writer, server_writer):
                w.close()

    server = await asyncio.start_server(handle, "127.0.0.1", args.listen, backlog=64)
    if args.ready:
        with open(args.ready, "w"):
            pass
    stop = asyncio.get_running_loop().create_future()
    asyncio.get_running_loop().add_signal_handler(signal.SIGTERM, stop.set_result, None)
    async with server:
        await stop


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--listen", type=int, required=True)
    parser.add_argument("--to", type=int, required=True)
    parser.add_argument("--delay-ms", type=float, required=True)
    parser.add_argument("--ready")
    args = parser.parse_args()
    asyncio.run(serve(args))
    os._exit(0)  # connections still open end with the process


if __name__ == "__main__":
    main()
