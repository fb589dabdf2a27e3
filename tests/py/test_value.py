# The Value type: buffers, release and lifetime, and the methods that read
# engine values back into Python.
import ctypes
import gc

import numpy as np
import pytest

from zelko import _zelko as zk

lib = ctypes.CDLL(zk.library_path())
lib.zelko_get_vector_ptr.restype = ctypes.c_void_p
lib.zelko_get_vector_ptr.argtypes = [ctypes.c_uint64, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_void_p]


def data_ptr(v):
    return lib.zelko_get_vector_ptr(v.handle(), None, None, None)


# source, format, item size, the numpy values the buffer holds
BUFFERS = [
    ("1 2 3", "b", 1, np.array([1, 2, 3], np.int8)),
    ("1 2 300", "h", 2, np.array([1, 2, 300], np.int16)),
    ("1 2 100000", "i", 4, np.array([1, 2, 100000], np.int32)),
    ("1 -2 10000000000", "q", 8, np.array([1, -2, 10000000000], np.int64)),
    ("1.5 -2.25", "d", 8, np.array([1.5, -2.25])),
    ('"ab"', "B", 1, np.frombuffer(b"ab", np.uint8)),
    ("2000.01.02 2000.01.05", "i", 4, np.array([1, 4], np.int32)),
    ("2000.01.01D00:00:00.000000001 2000.01.01D00:00:01", "q", 8, np.array([1, 10**9], np.int64)),
    ("00:00:00.001 00:00:01.000", "i", 4, np.array([1, 1000], np.int32)),
    ("00:01 01:00", "i", 4, np.array([1, 60], np.int32)),
    ("00:00:01 00:01:00", "i", 4, np.array([1, 60], np.int32)),
    ("2000.02m 2001.01m", "i", 4, np.array([1, 12], np.int32)),
    ("0D00:00:00.000000001 0D00:00:01", "q", 8, np.array([1, 10**9], np.int64)),
]


@pytest.mark.parametrize("src,fmt,size,want", BUFFERS, ids=[b[0] for b in BUFFERS])
def test_buffer_formats(src, fmt, size, want):
    v = zk.eval(src)
    m = memoryview(v)
    assert (m.format, m.itemsize, m.readonly, m.ndim, m.shape) == (fmt, size, True, 1, (len(want),))
    a = np.asarray(v)
    assert a.dtype == want.dtype and (a == want).all()
    assert a.ctypes.data == data_ptr(v)
    m.release()


def test_symbol_buffer_holds_ids():
    v = zk.eval("`b`a`b")
    a = np.asarray(v)
    assert a.dtype == np.int32 and a[0] == a[2] and a[0] != a[1]
    assert zk.symbol_name(int(a[1])) == "a"


@pytest.mark.parametrize("src,name", [("(1;`a)", "list"), ("5", "int"), ("1.5", "float"), ("!3", "range"),
                                       ("([]a:1 2)", "table"), ("{x}", "function")])
def test_no_flat_buffer(src, name):
    with pytest.raises(BufferError, match=f"^zelko.Value of type '{name}' has no flat buffer to export "
                       r"\(use .items\(\), .to_str\(\) or .scalar\(\) instead\)$"):
        memoryview(zk.eval(src))


def test_asarray_outlives_the_value():
    v = zk.convert(np.arange(1000, dtype=np.int64))
    addr = data_ptr(v)
    a = np.asarray(v)
    del v
    gc.collect()
    junk = [zk.convert(np.arange(1000, dtype=np.int64) * 7) for _ in range(20)]  # reuse what was freed
    del junk
    assert a.ctypes.data == addr and (a == np.arange(1000)).all()


class PyBuffer(ctypes.Structure):
    _fields_ = [("buf", ctypes.c_void_p), ("obj", ctypes.py_object), ("len", ctypes.c_ssize_t),
                ("itemsize", ctypes.c_ssize_t), ("readonly", ctypes.c_int), ("ndim", ctypes.c_int),
                ("format", ctypes.c_char_p), ("shape", ctypes.c_void_p), ("strides", ctypes.c_void_p),
                ("suboffsets", ctypes.c_void_p), ("internal", ctypes.c_void_p)]


def test_writable_request_refused():
    v = zk.convert([1, 2, 3])
    b = PyBuffer()
    get = ctypes.pythonapi.PyObject_GetBuffer
    get.argtypes = [ctypes.py_object, ctypes.POINTER(PyBuffer), ctypes.c_int]
    with pytest.raises(BufferError, match="^zelko.Value buffers are read-only$"):
        get(v, ctypes.byref(b), 0x0001)  # PyBUF_WRITABLE
    # ctypes asks for a plain view and refuses it itself when read-only.
    with pytest.raises(TypeError, match="not writable"):
        ctypes.c_char.from_buffer(v)
    v.release()  # no export was left counted


def test_release_rules():
    v = zk.convert([1, 2, 3])
    m = memoryview(v)
    with pytest.raises(BufferError, match=r"^zelko.Value.release\(\): 1 buffer export\(s\) still reading it"):
        v.release()
    m.release()
    assert v.release() is None and v.release() is None
    assert v.handle() == 0 and v.is_released()
    assert repr(v) == "<zelko.Value released>"
    for f in (len, lambda x: x.count(), lambda x: x.type(), lambda x: x.format(), memoryview):
        with pytest.raises((ValueError, BufferError), match="^zelko.Value has been released$"):
            f(v)


def test_repr_and_format():
    v = zk.eval("`a`b!1 2")
    assert repr(v) == "<zelko.Value dict>\n`a`b!1 2"
    assert v.format() == v.format(plain=True) == "`a`b!1 2"
    assert "\x1b[" in zk.eval("1 2").format(plain=False) or zk.eval("1 2").format(plain=False)


def test_predicates_and_counts():
    t = zk.eval("([]a:1 2 3;b:`x`y`z)")
    assert (t.is_table(), t.is_dict(), t.is_atom(), t.count(), len(t), t.ncols()) == (True, False, False, 3, 3, 2)
    kt = zk.eval("([k:1 2]v:3 4)")
    assert kt.is_dict() and not kt.is_table()
    assert zk.eval("{x}").is_atom() and zk.eval("5").is_atom()
    assert zk.eval("5").ncols() == -1


def test_columns():
    t = zk.eval("([]a:1 2 3;b:`x`y`z)")
    assert [t.colname(0), t.colname(1)] == ["a", "b"]
    assert t.column(1).to_symbols() == ["x", "y", "z"]
    for v, i in [(t, -1), (t, 99), (t, 2**40), (zk.eval("1 2"), 0)]:
        for f in (v.colname, v.column):
            with pytest.raises(IndexError, match="^column index out of range$"):
                f(i)
    with pytest.raises(TypeError):
        t.colname("a")


def test_scalars():
    cases = [("2000.01.03", 2), ("2000.01.01D00:00:00.000000007", 7), ("12", 12), ("1.5", 1.5),
             ('"x"', "x"), ("`abc", "abc"), ("00:00:01.5", 1500), ("2000.03m", 2)]
    for src, want in cases:
        got = zk.eval(src).scalar()
        assert got == want and type(got) is type(want), src
    for src, name in [("1 2", "byte vector"), ("(1;2.0)", "list"), ("`a`b!1 2", "dict")]:
        with pytest.raises(TypeError, match=f"^zelko.Value of type '{name}' is not a scalar$"):
            zk.eval(src).scalar()


def test_text():
    assert zk.convert("héllo").to_str() == "héllo"
    assert zk.eval('"x"').to_str() == "x"
    assert zk.convert(b"a\xffb").to_str() == "a\ufffdb"
    with pytest.raises(TypeError, match="^zelko.Value of type 'long vector' is not a string$"):
        zk.convert([1, 2**40]).to_str()


def test_symbols():
    v = zk.eval("`b`a`b`b")
    s = v.to_symbols()
    assert s == ["b", "a", "b", "b"] and s[0] is s[2] is s[3]
    codes, names = zk.eval("`b`a`b").symbol_codes()
    assert np.frombuffer(codes, np.int32).tolist() == [0, 1, 0] and names == ["b", "a"]
    assert zk.eval("`abc").to_symbols() == "abc"
    assert zk.symbols([]).to_symbols() == [] and zk.symbols([]).symbol_codes() == (b"", [])
    for f in ("to_symbols", "symbol_codes"):
        with pytest.raises(TypeError, match="^zelko.Value of type 'char vector' is not a symbol vector$"):
            getattr(zk.convert("ab"), f)()
    with pytest.raises(TypeError, match="is not a symbol vector"):
        zk.eval("`a").symbol_codes()


def test_dict_parts_and_items():
    d = zk.eval("`a`b!1 2")
    assert d.keys().to_symbols() == ["a", "b"] and np.asarray(d.values()).tolist() == [1, 2]
    with pytest.raises(TypeError, match="^zelko.Value of type 'long vector' is not a dictionary$"):
        zk.convert([1, 2**40]).keys()
    items = zk.convert([1, 2, 3]).items()
    assert [(i.type(), i.scalar()) for i in items] == [(zk.ZELKO_T_LONG_ATOM, n) for n in (1, 2, 3)]
    assert [i.format() for i in zk.eval('(1;`a;"bc")').items()] == ["1", "`a", '"bc"']
    assert zk.convert([]).items() == []


def test_equals_and_flatten():
    a, b = zk.eval("1 2 3"), zk.convert(np.array([1, 2, 3], np.int8))
    assert a.equals(b) and not a.equals(zk.eval("1 2"))
    r = zk.eval("!4")
    f = r.flatten()
    assert r.type() == zk.ZELKO_T_RANGE and f.type() != zk.ZELKO_T_RANGE
    assert np.asarray(f).tolist() == [0, 1, 2, 3] and f.equals(zk.eval("0 1 2 3"))
    with pytest.raises(TypeError, match="^zelko.Value.equals: expected an zelko.Value$"):
        a.equals(5)
    c = zk.eval("1")
    c.release()
    with pytest.raises(ValueError, match="^zelko.Value has been released$"):
        a.equals(c)


def test_type_cannot_be_made_or_subclassed():
    with pytest.raises(TypeError):
        zk.Value()
    with pytest.raises(TypeError):
        type("Sub", (zk.Value,), {})
    assert zk.Value.__doc__.startswith("An owned handle on a value inside the Zelko engine.")
