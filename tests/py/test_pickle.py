# Pickling through the engine's own serialisation, `ser and `des.
import pickle

import numpy as np
import pytest

from zelko import _zelko as zk


def _ser_missing():
    try:
        zk.eval("`ser 1")
    except zk.ZelkoError as e:
        return str(e).startswith("'nyi")
    return False


pytestmark = pytest.mark.skipif(_ser_missing(), reason="the engine's `ser answers 'nyi: serialisation is not built yet")

VALUES = ["5", "2000000000000", "1.5", '"c"', "`sym", "2000.01.02", "12:00:00.001", "2000.01.01D00:00:01",
          "12:00", "12:00:01", "2000.03m", "0D00:00:01", "1 2 3", "1 2 300", "1 2 100000", "1 2 10000000000",
          "0.5 1.5", '"abc"', "`a`b`a", "2000.01.02 2000.01.03", "12:00:00.001 12:00:00.002",
          "2000.01.01D00:00:01 2000.01.01D00:00:02", "12:00 12:01", "12:00:01 12:00:02", "2000.01m 2000.02m",
          "0D00:00:01 0D00:00:02", "!5", "()", '(1;`a;"bc";(2.5;()))', "`a`b!(1;2.5)",
          "([]a:1 2;b:`x`y;c:0.5 1.5)", "([k:1 2]v:`p`q)"]


@pytest.mark.parametrize("src", VALUES)
def test_round_trip(src):
    v = zk.eval(src)
    w = pickle.loads(pickle.dumps(v))
    assert w.equals(v) and w.type() == v.type() and w.to_bytes() == v.to_bytes()
    assert zk.from_bytes(bytearray(v.to_bytes())).equals(v)
    f, args = v.__reduce__()
    assert f.__module__ == "conftest" and f.__name__ == "_unpickle" and args == (v.to_bytes(),)


def test_short_storage_kept():
    v = zk.convert(np.array([1, 2, 300], np.int16))  # a long vector: convert widens
    s = zk.eval("1 2 300")
    assert pickle.loads(pickle.dumps(s)).type() == zk.ZELKO_T_SHORT and v.type() == zk.ZELKO_T_LONG


def test_refusals():
    with pytest.raises(zk.ZelkoError):
        pickle.dumps(zk.eval("{x+1}"))
    b = zk.eval("([]a:1 2;b:`x`y)").to_bytes()
    for bad in [b[: len(b) // 2], b[:1], b"", b[:-1], bytes([b[0] ^ 0xFF]) + b[1:], b"\xff" * len(b)]:
        with pytest.raises(zk.ZelkoError):
            zk.from_bytes(bad)
    for i in range(len(b)):  # every single-byte alteration: refused or decoded, never a crash
        try:
            zk.from_bytes(b[:i] + bytes([b[i] ^ 0x5A]) + b[i + 1:])
        except zk.ZelkoError:
            pass
