# Failure paths release everything they built: resident memory stays flat
# and the inputs' and hook's reference counts come back unchanged.
import gc
import os
import sys

import numpy as np
import pytest

from zelko import _zelko as zk

N = 100_000
ROUNDS = 100 if os.environ.get("ZELKO_PY_ASAN") else 1000


def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


class Odd:
    pass


def raising_hook(o):
    raise LookupError("no rule")


def case_last_item():
    return [list(range(N - 1)) + [Odd()]], TypeError, None


def case_nested_last():
    return [[{"a": list(range(N)), "b": [1.5] * 10 + [Odd()]}]], TypeError, None


def case_hook():
    return [list(range(N - 1)) + [Odd()]], LookupError, raising_hook


def case_format():
    return [np.zeros(N, np.complex128)], TypeError, None


def case_unsigned():
    a = np.zeros(N, np.uint64)
    a[-1] = 2**63
    return [a], OverflowError, None


def case_released():
    v = zk.convert(np.arange(N))
    v.release()
    return [[list(range(N)), v]], zk.ZelkoError, None


@pytest.mark.parametrize("make", [case_last_item, case_nested_last, case_hook, case_format, case_unsigned,
                                  case_released])
def test_failure_keeps_memory_flat(make):
    args, exc, hook = make()
    obj = args[0]
    zk._set_convert_hook(hook)
    try:
        for _ in range(20):  # warm the allocators up
            with pytest.raises(exc):
                zk.convert(obj)
        gc.collect()
        refs = (sys.getrefcount(obj), sys.getrefcount(hook) if hook else 0)
        before = rss()
        for i in range(ROUNDS):
            f = (zk.convert, lambda o: zk.call("pyid", [o]), lambda o: zk.set_global("pyx", o))[i % 3]
            with pytest.raises(exc):
                f(obj)
        gc.collect()
        grown = rss() - before
        assert (sys.getrefcount(obj), sys.getrefcount(hook) if hook else 0) == refs
        assert grown < 16 << 20, f"resident memory grew by {grown} bytes"
    finally:
        zk._set_convert_hook(None)


@pytest.fixture(autouse=True)
def pyid():
    zk.eval("pyid:{x}")
