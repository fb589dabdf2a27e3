# Python objects into engine values, judged against numpy's own reading of
# the same buffers.
import array
import sys

import numpy as np
import pytest

from zelko import _zelko as zk

T = zk


def back(v):
    """The engine value read back through its buffer."""
    return np.asarray(v)


def test_scalars_and_text():
    cases = [(True, T.ZELKO_T_LONG_ATOM, 1), (False, T.ZELKO_T_LONG_ATOM, 0), (7, T.ZELKO_T_LONG_ATOM, 7),
             (-2**63, T.ZELKO_T_LONG_ATOM, -2**63), (1.5, T.ZELKO_T_FLOAT_ATOM, 1.5)]
    for obj, t, want in cases:
        v = zk.convert(obj)
        assert (v.type(), v.scalar()) == (t, want), obj
    for big in (2**63, -2**63 - 1):
        with pytest.raises(OverflowError):
            zk.convert(big)
    v = zk.convert("héllo")
    assert (v.type(), v.count(), v.to_str()) == (T.ZELKO_T_CHAR, 6, "héllo")
    assert zk.convert(b"").type() == T.ZELKO_T_CHAR and zk.convert(b"").count() == 0
    with pytest.raises(UnicodeEncodeError):
        zk.convert("\udc80")
    assert zk.convert(None).handle() == zk.NULL_HANDLE


def test_sequences_and_mappings():
    assert zk.convert([1, 2, 3]).type() == T.ZELKO_T_LONG
    assert zk.convert([1, "a"]).type() == T.ZELKO_T_LIST
    e = zk.convert([])
    assert (e.type(), e.count()) == (T.ZELKO_T_LIST, 0)
    n = zk.convert((None,))
    assert (n.type(), n.count()) == (T.ZELKO_T_LIST, 1) and n.items()[0].handle() == zk.NULL_HANDLE
    d = zk.convert({"a": 1, "b": [1.0, 2.0]})
    assert d.is_dict() and d.keys().to_symbols() == ["a", "b"] and d.format() == "`a`b!(1;1.0 2.0)"
    assert zk.convert({1: 2}).keys().to_symbols() == ["1"]
    assert zk.convert({}).is_dict() and zk.convert({}).count() == 0
    v = zk.convert([1, 2])
    assert zk.convert([v, v]).format() == zk.eval("(1 2;1 2)").format()


# numpy arrays of every integer, bool and float dtype: (dtype, engine type)
DTYPES = [("i1", T.ZELKO_T_LONG), ("i2", T.ZELKO_T_LONG), ("i4", T.ZELKO_T_INT), ("i8", T.ZELKO_T_LONG),
          ("u1", T.ZELKO_T_CHAR), ("u2", T.ZELKO_T_LONG), ("u4", T.ZELKO_T_LONG), ("u8", T.ZELKO_T_LONG),
          ("?", T.ZELKO_T_LONG), ("f2", T.ZELKO_T_FLOAT), ("f4", T.ZELKO_T_FLOAT), ("f8", T.ZELKO_T_FLOAT),
          ("q", T.ZELKO_T_LONG), ("l", T.ZELKO_T_LONG), ("intp", T.ZELKO_T_LONG)]


def sample(dt):
    dt = np.dtype(dt)
    if dt.kind == "b":
        return np.array([True, False, True, True])
    if dt.kind == "f":
        return np.array([1.5, -0.25, 65504.0 if dt.itemsize == 2 else 1e30, 0.0, np.inf]).astype(dt)
    info = np.iinfo(dt)
    return np.array([info.min, info.max, 0, 1, info.max // 3], dtype=dt)


@pytest.mark.parametrize("dt,t", DTYPES, ids=[d[0] for d in DTYPES])
@pytest.mark.parametrize("shape", ["plain", "big", "strided", "reversed"])
def test_numpy_dtypes(dt, t, shape):
    a = sample(dt)
    if dt == "u8":
        a[1] = 2**63 - 1
    if shape == "big":
        a = a.astype(a.dtype.newbyteorder(">"))
    elif shape == "strided":
        a = np.repeat(a, 2)[::2]
    elif shape == "reversed":
        a = a[::-1]
    v = zk.convert(a)
    want_t = t
    if shape != "plain" and t == T.ZELKO_T_INT:
        want_t = T.ZELKO_T_LONG  # only a contiguous native 4-byte buffer keeps its width
    assert v.type() == want_t
    got = back(v)
    if want_t == T.ZELKO_T_CHAR:
        assert bytes(got) == a.astype(np.uint8).tobytes()
    elif want_t == T.ZELKO_T_FLOAT:
        assert got.dtype == np.float64 and (got == a.astype(np.float64)).all()
    else:
        assert (got == a.astype(np.int64)).all()


def test_other_buffers():
    cases = [(array.array("i", [1, -2]), T.ZELKO_T_INT, [1, -2]),
             (array.array("h", [1, -2]), T.ZELKO_T_LONG, [1, -2]),
             (array.array("d", [0.5]), T.ZELKO_T_FLOAT, [0.5]),
             (array.array("Q", [2**63 - 1]), T.ZELKO_T_LONG, [2**63 - 1]),
             (memoryview(b"xyz"), T.ZELKO_T_CHAR, list(b"xyz")),
             (memoryview(np.arange(6, dtype=np.int64))[::2], T.ZELKO_T_LONG, [0, 2, 4]),
             (memoryview(b"abcd").cast("c"), T.ZELKO_T_CHAR, list(b"abcd")),
             (bytearray(b"\x00\xff"), T.ZELKO_T_CHAR, [0, 255]),
             (np.array(5, dtype=np.int16), T.ZELKO_T_LONG, [5]),
             (np.zeros(0, dtype=np.float64), T.ZELKO_T_FLOAT, [])]
    for obj, t, want in cases:
        v = zk.convert(obj)
        assert v.type() == t and back(v).tolist() == want if t != T.ZELKO_T_CHAR else list(bytes(back(v))) == want, obj


def test_buffer_refusals():
    with pytest.raises(TypeError, match=r"^zelko: only 1-D buffers convert to an Zelko vector \(ravel\(\) or pass a list of vectors\)$"):
        zk.convert(np.zeros((2, 2)))
    with pytest.raises(OverflowError, match="^zelko: unsigned value 9223372036854775808 at index 1 does not fit Zelko's int64$"):
        zk.convert(np.array([0, 2**63], np.uint64))
    for obj, fmt in [(np.zeros(2, np.complex128), "Zd"), (memoryview(b"\0" * 8).cast("P"), "P"),
                     (np.zeros(2, "V3"), "3x")]:
        with pytest.raises(TypeError, match=f"^zelko: buffer format '{fmt}' has no Zelko equivalent$"):
            zk.convert(obj)
    # A float format whose item size is not its own is refused, never read past.
    big = np.zeros(2, np.longdouble)
    with pytest.raises(TypeError, match="has no Zelko equivalent"):
        zk.convert(big)


def test_deep_and_self_holding_lists():
    deep = []
    for _ in range(100_000):
        deep = [deep]
    with pytest.raises(RecursionError):
        zk.convert(deep)
    own = [1]
    own.append(own)
    with pytest.raises(RecursionError):
        zk.convert(own)
    d = {}
    d["a"] = d
    with pytest.raises(RecursionError):
        zk.convert(d)
    assert zk.convert([[[1]]]).format() == zk.eval(",,,1").format()


class Thing:
    pass


def test_convert_hook_and_fallthrough():
    with pytest.raises(TypeError, match="^zelko: cannot convert Thing to an Zelko value$"):
        zk.convert(Thing())

    class Tup(tuple):
        pass

    seen = []

    def hook(o):
        seen.append(type(o).__name__)
        return zk.convert(42) if isinstance(o, Thing) else None

    zk._set_convert_hook(hook)
    try:
        assert zk.convert([Thing(), Thing()]).format() == "42 42"
        assert zk.convert(Tup((1, 2))).format() == "1 2" and "Tup" in seen
        assert "list" not in seen
        zk._set_convert_hook(lambda o: 5)
        with pytest.raises(TypeError, match="^zelko: the convert hook must return an zelko.Value or None$"):
            zk.convert(Thing())
        r = zk.convert(1)
        r.release()
        zk._set_convert_hook(lambda o: r)
        with pytest.raises(TypeError, match="convert hook must return"):
            zk.convert(Thing())

        def boom(o):
            raise KeyError("hook")
        zk._set_convert_hook(boom)
        with pytest.raises(KeyError):
            zk.convert([1, Thing()])
        with pytest.raises(TypeError, match="^zelko._set_convert_hook: expected a callable or None$"):
            zk._set_convert_hook(5)
    finally:
        zk._set_convert_hook(None)
    with pytest.raises(TypeError, match="cannot convert Thing"):
        zk.convert(Thing())
