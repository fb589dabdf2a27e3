"""The peer of bench/handle_bench.cpp: a selectors echo server that moves
the same frames as the engine's event loop: it answers the handshake with
one byte 3, and each message with its own body as a response (type 2).
Prints its port (the system picks it); ends when its standard input ends."""
import selectors
import socket
import struct
import sys

sel = selectors.DefaultSelector()
ls = socket.socket()
ls.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
ls.bind(("127.0.0.1", 0))
ls.listen(128)
ls.setblocking(False)
print(ls.getsockname()[1], flush=True)


class Conn:
    def __init__(self, s):
        self.s = s
        self.buf = bytearray()
        self.hs = False
        self.out = bytearray()


def accept(_):
    s, _ = ls.accept()
    s.setblocking(False)
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    sel.register(s, selectors.EVENT_READ, Conn(s))


def flush(c):
    while c.out:
        try:
            n = c.s.send(c.out)
        except BlockingIOError:
            sel.modify(c.s, selectors.EVENT_READ | selectors.EVENT_WRITE, c)
            return
        del c.out[:n]
    sel.modify(c.s, selectors.EVENT_READ, c)


def serve(c, ev):
    if ev & selectors.EVENT_WRITE:
        flush(c)
    if not ev & selectors.EVENT_READ:
        return
    try:
        d = c.s.recv(1 << 20)
    except (BlockingIOError, ConnectionError):
        d = b"" if not isinstance(sys.exc_info()[1], BlockingIOError) else None
    if d is None:
        return
    if not d:
        sel.unregister(c.s)
        c.s.close()
        return
    c.buf += d
    if not c.hs:
        z = c.buf.find(0)
        if z < 0:
            return
        del c.buf[: z + 1]
        c.hs = True
        c.out += b"\3"
    while len(c.buf) >= 8:
        n = struct.unpack_from("<I", c.buf, 4)[0]
        if len(c.buf) < n:
            break
        m = c.buf[:n]
        del c.buf[:n]
        m[1] = 2
        c.out += m
    if c.out:
        flush(c)


sel.register(ls, selectors.EVENT_READ, None)
sel.register(sys.stdin, selectors.EVENT_READ, "stdin")
while True:
    for k, ev in sel.select():
        if k.data is None:
            accept(k)
        elif k.data == "stdin":
            if not sys.stdin.buffer.read1(1):
                sys.exit(0)
        else:
            serve(k.data, ev)
