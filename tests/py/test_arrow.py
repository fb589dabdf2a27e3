# Tables through the Arrow C data interface, read with ctypes structs.
import ctypes

import numpy as np
import pytest

from zelko import _zelko as zk


class Schema(ctypes.Structure):
    pass


class Array(ctypes.Structure):
    pass


Schema._fields_ = [("format", ctypes.c_char_p), ("name", ctypes.c_char_p), ("metadata", ctypes.c_char_p),
                   ("flags", ctypes.c_int64), ("n_children", ctypes.c_int64),
                   ("children", ctypes.POINTER(ctypes.POINTER(Schema))), ("dictionary", ctypes.POINTER(Schema)),
                   ("release", ctypes.c_void_p), ("private_data", ctypes.c_void_p)]
Array._fields_ = [("length", ctypes.c_int64), ("null_count", ctypes.c_int64), ("offset", ctypes.c_int64),
                  ("n_buffers", ctypes.c_int64), ("n_children", ctypes.c_int64),
                  ("buffers", ctypes.POINTER(ctypes.c_void_p)), ("children", ctypes.POINTER(ctypes.POINTER(Array))),
                  ("dictionary", ctypes.POINTER(Array)), ("release", ctypes.c_void_p),
                  ("private_data", ctypes.c_void_p)]

SRC = "([]a:1 2 10000000000;b:0.5 1.5 2.5;c:1 2 100000;d:1 2 300;e:1 2 3;s:`x`y`x)"
FORMATS = [b"l", b"g", b"i", b"s", b"c", b"u"]


def check_export(t, s, a):
    assert s.format == b"+s" and s.n_children == a.n_children == t.ncols() and a.length == 3
    for i in range(t.ncols()):
        cs, ca = s.children[i].contents, a.children[i].contents
        assert (cs.name.decode(), cs.format) == (t.colname(i), FORMATS[i])
        if cs.format != b"u":
            assert ca.buffers[1] == np.asarray(t.column(i)).ctypes.data


def test_export_import_and_free():
    t = zk.eval(SRC)
    sa, aa = zk.arrow_export(t)
    s, a = Schema.from_address(sa), Array.from_address(aa)
    check_export(t, s, a)
    back = zk.arrow_import(sa, aa)
    assert back.equals(t)
    with pytest.raises(zk.ZelkoError, match="already been released or moved"):
        zk.arrow_import(sa, aa)
    zk.free_ptr(sa)
    zk.free_ptr(aa)


def test_export_into_caller_structs():
    t = zk.eval(SRC)
    s, a = Schema(), Array()
    assert zk.arrow_export_into(t, ctypes.addressof(s), ctypes.addressof(a)) is None
    check_export(t, s, a)
    del t  # the export keeps the columns alive
    back = zk.arrow_import(ctypes.addressof(s), ctypes.addressof(a))
    assert back.format() == zk.eval(SRC).format()
    assert s.release is None and a.release is None
    with pytest.raises(zk.ZelkoError, match="already been released or moved"):
        zk.arrow_import(ctypes.addressof(s), ctypes.addressof(a))


def test_export_refusal():
    with pytest.raises(zk.ZelkoError):
        zk.arrow_export(zk.eval("1 2 3"))
