"""Socket peers for the handle and event-loop tests.

Frames are built by the engine under test (its own codec is checked
against golden bytes elsewhere) and passed here as hex, so this side only
moves bytes and reports what it saw, one line per event on stdout.

  serve MODE    a server on a port the system picks (printed first); one
                client at a time, handshake reported as "hs <hex>", then
                per message by MODE:
                  echo   a request is answered with its own body (type 2),
                         an asynchronous message counted
                  err    a request is answered with the error frame "oops"
                  push   a request is first sent back as an asynchronous
                         message, then answered as in echo
                  close  the connection is closed at the first message
                  next   an asynchronous message (body hex in argv) is sent
                         unprompted after the handshake, then echo
                MODE ends at end of input of the client; "async N sync M"
                is printed per connection.
  client PORT STEP...   connects and runs the steps in order:
                  hs:HEX     send a handshake, print "hs <byte hex>"
                  send:HEX   send bytes
                  recv       read one message, print "msg <hex>" or "eof"
                  sleep:MS   pause
                  close      close the socket
                  waiteof    read until the peer closes, print "eof"
  load PORT NC NREQ     the loopback load test (see run_load)
"""
import os
import socket
import struct
import sys
import threading
import time


def rd(s, n):
    b = b""
    while len(b) < n:
        c = s.recv(n - len(b))
        if not c:
            return None
        b += c
    return b


def rmsg(s):
    h = rd(s, 8)
    if h is None:
        return None
    n = struct.unpack("<I", h[4:8])[0]
    body = rd(s, n - 8)
    if body is None:
        return None
    return h + body


def frame(t, body):
    return bytes([1, t, 0, 0]) + struct.pack("<I", 8 + len(body)) + body


# One write per line under a lock: print writes its pieces separately, and
# the load test's client threads would interleave them ("ok 3ok 15\n\n").
_outl = threading.Lock()


def out(*a):
    with _outl:
        sys.stdout.write(" ".join(map(str, a)) + "\n")
        sys.stdout.flush()


def serve(mode, extra):
    ls = socket.socket()
    ls.bind(("127.0.0.1", 0))
    ls.listen(8)
    out(ls.getsockname()[1])
    while True:
        try:
            c, _ = ls.accept()
        except OSError:
            return
        hs = b""
        while not hs.endswith(b"\0"):
            b = c.recv(1)
            if not b:
                break
            hs += b
        out("hs", hs.hex())
        c.sendall(b"\3")
        if mode == "next":
            c.sendall(bytes.fromhex(extra))
        na = ns = 0
        while True:
            m = rmsg(c)
            if m is None:
                break
            if mode == "close":
                break
            if m[1] == 0:
                na += 1
                continue
            ns += 1
            if mode == "err":
                t = b"oops"
                c.sendall(bytes([1, 2, 0, 0]) + struct.pack("<I", 10 + len(t)) + b"\x80" + t + b"\0")
                continue
            if mode == "push":
                c.sendall(frame(0, m[8:]))
            c.sendall(frame(2, m[8:]))
        c.close()
        out("async", na, "sync", ns)
        if mode in ("close", "err", "push", "next"):
            return


def client(port, steps):
    s = socket.create_connection(("127.0.0.1", port))
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    for st in steps:
        op, _, arg = st.partition(":")
        if op == "hs":
            s.sendall(bytes.fromhex(arg))
            b = s.recv(1)
            out("hs", b.hex())
        elif op == "send":
            s.sendall(bytes.fromhex(arg))
        elif op == "recv":
            m = rmsg(s)
            out("eof" if m is None else "msg " + m.hex())
        elif op == "sleep":
            time.sleep(int(arg) / 1000)
        elif op == "close":
            s.close()
        elif op == "waiteof":
            while s.recv(4096):
                pass
            out("eof")


def lvec(*v):
    return bytes([7, 0]) + struct.pack("<I", len(v)) + struct.pack("<%dq" % len(v), *v)


def run_load(port, nc, nreq):
    """nc clients, each nreq requests (cid; seq) answered by the same, with an
    asynchronous (cid; seq) after each, a malformed request every 100th
    (answered "domain"), and halfway one close inside a message and a
    reconnect.  One more client sends half a message and waits to be
    dropped.  Prints "ok N" per client, or "bad ..." lines."""
    bad = []
    hs = b"\3\0"

    def connect():
        s = socket.create_connection(("127.0.0.1", port))
        # A request right after an asynchronous message must not wait for
        # the acknowledgement of a message that gets no reply.
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        s.sendall(hs)
        if s.recv(1) != b"\3":
            bad.append("handshake")
        return s

    dom = bytes([1, 2, 0, 0]) + struct.pack("<I", 16) + b"\x80domain\0"
    bodyerr = lvec(1, 2)[:6] + struct.pack("<q", 1)  # says 2 items, holds 1

    def one(cid):
        s = connect()
        for q in range(nreq):
            if q == nreq // 2:
                s.sendall(frame(1, lvec(cid, q))[:11])
                s.close()
                s = connect()
            if q % 100 == 99:
                s.sendall(frame(1, bodyerr))
                if rmsg(s) != dom:
                    bad.append("malformed %d %d" % (cid, q))
            s.sendall(frame(1, lvec(cid, q)))
            if rmsg(s) != frame(2, lvec(cid, q)):
                bad.append("reply %d %d" % (cid, q))
                break
            s.sendall(frame(0, lvec(cid, q)))
        s.close()
        out("ok", cid)

    def silent():
        s = connect()
        s.sendall(frame(1, lvec(99, 99))[:12])
        t = time.time()
        s.settimeout(40)
        try:
            r = s.recv(1)
        except OSError:
            r = b"?"
        out("silent", "dropped" if r == b"" else "not", round(time.time() - t, 1))
        s.close()

    ts = [threading.Thread(target=one, args=(c,)) for c in range(nc)]
    ts.append(threading.Thread(target=silent))
    for t in ts:
        t.start()
    for t in ts:
        t.join()
    for b in bad[:20]:
        out("bad", b)


if __name__ == "__main__":
    a = sys.argv[1:]
    if a[0] == "serve":
        serve(a[1], a[2] if len(a) > 2 else "")
    elif a[0] == "client":
        client(int(a[1]), a[2:])
    elif a[0] == "load":
        run_load(int(a[1]), int(a[2]), int(a[3]))
    sys.stdout.flush()
    os._exit(0)
