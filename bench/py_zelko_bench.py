# The Python module's costs against numpy's, in one run: np.asarray of a
# Value (zero-copy, so the same time at 10^3 and 10^8 items), convert of
# 10^7 int64 and float64 arrays against numpy's copy(), and pickling a 10^7
# float Value against the numpy array's (protocol 5).  Run with Debian's
# python3 from a Release build:
#   /usr/bin/python3 bench/py_zelko_bench.py build-rel/py
# Prints the best of several runs of each and the ratios.
import os
import pickle
import sys
import timeit
import types

import numpy as np

pkg = types.ModuleType("zelko")
pkg.__path__ = [os.path.join(sys.argv[1] if len(sys.argv) > 1 else "build/py", "zelko")]
pkg._unpickle = lambda b: zk.from_bytes(b)
sys.modules["zelko"] = pkg
from zelko import _zelko as zk  # noqa: E402

zk.init()


def best(fn, repeat=7, number=1):
    fn()
    return min(timeit.repeat(fn, number=number, repeat=repeat)) / number


def line(name, t, ref=None):
    r = f"  ratio {t / ref:5.2f}x" if ref else ""
    print(f"{name:34s} {t * 1e6:12.2f} us{r}")


small = zk.convert(np.arange(1000, dtype=np.int64))
big = zk.eval("!100000000").flatten()
t_small = best(lambda: np.asarray(small), 50, 1000)
t_big = best(lambda: np.asarray(big), 50, 1000)
line("asarray 10^3 int64", t_small)
line("asarray 10^8 int64", t_big, t_small)
del big

N = 10_000_000
rng = np.random.default_rng(1)
for name, a in [("int64", rng.integers(-2**62, 2**62, N)), ("float64", rng.random(N))]:
    tc = best(lambda: a.copy())
    tz = best(lambda: zk.convert(a))
    line(f"numpy copy 10^7 {name}", tc)
    line(f"convert 10^7 {name}", tz, tc)

f = rng.random(N)
fv = zk.convert(f)
try:
    fv.to_bytes()
except zk.ZelkoError as e:
    print(f"pickle: skipped, the engine's `ser fails: {str(e).splitlines()[0]}")
else:
    nd = best(lambda: pickle.dumps(f, protocol=5))
    zd = best(lambda: pickle.dumps(fv, protocol=5))
    nb, zb = pickle.dumps(f, protocol=5), pickle.dumps(fv, protocol=5)
    nl = best(lambda: pickle.loads(nb))
    zl = best(lambda: pickle.loads(zb))
    line("numpy pickle.dumps 10^7 float", nd)
    line("Value pickle.dumps 10^7 float", zd, nd)
    line("numpy pickle.loads 10^7 float", nl)
    line("Value pickle.loads 10^7 float", zl, nl)
