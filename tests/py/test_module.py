# The module's functions and initialisation.
import os
import subprocess
import sys

import numpy as np
import pytest

from zelko import _zelko as zk


def released():
    v = zk.convert([1, 2, 3])
    v.release()
    return v


def test_constants_and_identity():
    assert zk.ZELKO_CAPI_ABI == 1 == zk.abi()
    assert zk.NULL_HANDLE == 0x1D00000000000000
    codes = {k: getattr(zk, k) for k in dir(zk) if k.startswith("ZELKO_T_")}
    assert len(codes) == 31 and codes["ZELKO_T_LIST"] == 1 and codes["ZELKO_T_TIMESPAN_LIST"] == 39
    assert sorted(codes.values()) == list(range(1, 18)) + list(range(26, 40))
    assert zk.ZelkoError.__module__ == "zelko" and zk.ZelkoError.__name__ == "ZelkoError"
    assert issubclass(zk.ZelkoError, Exception)
    assert zk.version() == "2.9.0"
    assert zk.__doc__.startswith("Low-level CPython binding for the Zelko columnar time-series engine.")
    p = zk.library_path()
    assert os.path.basename(p) == "libzelko.so" and os.path.samefile(p, os.path.join(os.environ["ZELKO_PY_DIR"], "..", "libzelko.so"))


def test_eval_and_globals():
    assert zk.eval("1+2").scalar() == 3
    with pytest.raises(zk.ZelkoError) as e:
        zk.eval("1+`a")
    assert str(e.value).startswith("'type")
    with pytest.raises(TypeError):
        zk.eval(5)
    zk.set_global("pyg", [1, 2**40])
    assert zk.get_global("pyg").format() == "1 1099511627776"
    assert zk.set_global("pyg", None) is None and zk.get_global("pyg").handle() == zk.NULL_HANDLE
    with pytest.raises(zk.ZelkoError):
        zk.get_global("no_such_global_here")
    assert zk.eval_qsql("1+2").scalar() == 3  # plain text passes the rewrite unchanged


def test_call():
    zk.eval("pyf:{x}")
    assert zk.call("pyf", []).handle() == zk.NULL_HANDLE  # no argument applies f to the generic null
    assert zk.call("pyf", (5,)).scalar() == 5
    zk.eval("pyg8:{[a;b;c;d;e;f;g;h]a+b+c+d+e+f+g+h}")
    assert zk.call("pyg8", [1] * 8).scalar() == 8
    with pytest.raises(TypeError, match="^zelko.call: the engine applies at most 8 arguments; pass a list as one argument instead$"):
        zk.call("pyg8", [1] * 9)
    with pytest.raises(TypeError, match="^zelko.call: second argument must be a sequence$"):
        zk.call("pyf", 5)
    with pytest.raises(zk.ZelkoError) as e:
        zk.call("undefined_name_xyz", [])
    assert "undefined_name_xyz" in str(e.value) or str(e.value)


def test_released_value_at_any_depth():
    def deep(x):
        return [1, {"a": [x]}]

    cases = [lambda r: zk.call("pyf", [r]), lambda r: zk.call("pyf", [deep(r)]),
             lambda r: zk.convert(r), lambda r: zk.convert(deep(r)), lambda r: zk.convert((r,)),
             lambda r: zk.set_global("pyg", r), lambda r: zk.set_global("pyg", deep(r)),
             lambda r: zk.make_table(["a"], [r]), lambda r: zk.make_table(["a", "b"], [[1], deep(r)])]
    zk.eval("pyf:{x}")
    for f in cases:
        with pytest.raises(zk.ZelkoError):
            zk.eval("1+`a")  # leaves an earlier failure's text behind
        with pytest.raises(zk.ZelkoError, match="^zelko.Value has been released$"):
            f(released())


def test_make_table():
    t = zk.make_table(["a", "b"], [[1, 2], np.array([0.5, 1.5])])
    assert t.is_table() and t.format() == zk.eval("([]a:1 2;b:0.5 1.5)").format()
    for names, cols in [(["a"], []), (["a"], 5), (5, [[1]])]:
        with pytest.raises(ValueError, match="^zelko.make_table: names and columns must be the same length$"):
            zk.make_table(names, cols)
    with pytest.raises(zk.ZelkoError):
        zk.make_table(["a", "b"], [[1, 2], [1, 2, 3]])


def test_symbols_and_names():
    v = zk.symbols(["x", "y", "x", 3])
    assert v.type() == zk.ZELKO_T_SYM and v.to_symbols() == ["x", "y", "x", "3"]
    assert zk.symbols(iter(["q"])).to_symbols() == ["q"]
    e = zk.symbols([])
    assert (e.type(), e.count()) == (zk.ZELKO_T_SYM, 0)
    with pytest.raises(TypeError, match="^zelko.symbols: expected an iterable of str$"):
        zk.symbols(5)
    assert zk.symbol_name(0) == ""
    assert zk.symbol_name(int(np.asarray(zk.symbols(["a"]))[0])) == "a"
    for bad in (-1, 2**31):
        with pytest.raises(ValueError, match="^zelko.symbol_name: not a symbol id$"):
            zk.symbol_name(bad)


def test_adopt_free_ptr_diagnostics():
    import ctypes
    lib = ctypes.CDLL(zk.library_path())
    lib.zelko_retain.restype = ctypes.c_uint64
    lib.zelko_retain.argtypes = [ctypes.c_uint64]
    v = zk.convert([1, 2**40])
    w = zk.adopt(lib.zelko_retain(v.handle()))
    assert w.handle() == v.handle() and w.format() == v.format()
    w.release()
    assert v.format() == "1 1099511627776"
    with pytest.raises(ValueError, match="^zelko.adopt: null handle$"):
        zk.adopt(0)
    with pytest.raises(OverflowError):
        zk.adopt(-1)
    assert zk.free_ptr(0) is None
    prev = zk.set_diagnostics(True)
    assert prev in (0, 1) and zk.set_diagnostics(False) == 1


def test_plugin_and_bytes_refusals():
    with pytest.raises(zk.ZelkoError):
        zk.plugin_load("/nonexistent/plugin.so")
    with pytest.raises(TypeError):
        zk.from_bytes(5)


def test_arrow_argument_checks():
    with pytest.raises(TypeError, match="^zelko.arrow_export: expected an zelko Value$"):
        zk.arrow_export(5)
    with pytest.raises(TypeError, match="^zelko.arrow_export_into: expected an zelko Value$"):
        zk.arrow_export_into(5, 1, 1)
    t = zk.eval("([]a:1 2)")
    with pytest.raises(ValueError, match="^zelko.arrow_export_into: null struct address$"):
        zk.arrow_export_into(t, 0, 0)


def run_py(code, env=None):
    e = dict(os.environ)
    e.update(env or {})
    here = os.path.dirname(__file__)
    prog = f"import sys; sys.path.insert(0, {here!r}); import conftest\n" + code
    return subprocess.run([sys.executable, "-c", prog], env=e, capture_output=True, text=True, timeout=120)


def test_second_init_keeps_redefined_helpers():
    r = run_py("from zelko import _zelko as zk\n"
               "zk.eval('pyzelko.at:{[x;y]42}')\nzk.init()\n"
               "print(zk.convert([7, 8]).items()[0].scalar())")
    assert r.returncode == 0 and r.stdout.strip() == "42", r.stderr


def test_abi_mismatch_refused():
    pre = os.environ.get("LD_PRELOAD", "")
    shim = os.environ["ZELKO_ABI_SHIM"]
    r = run_py("pass", {"LD_PRELOAD": f"{pre}:{shim}" if pre else shim})
    assert r.returncode != 0
    assert ("ImportError: zelko: libzelko ABI mismatch -- this build of python-zelko was compiled against "
            "ABI 1 but the loaded libzelko reports ABI 2. Rebuild one of them.") in r.stderr
