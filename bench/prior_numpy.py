# numpy's each-prior work on 10M items, the reference figures for
# bench_prior_bench: deltas (np.diff with the seed 0 prepended, as -': does)
# and the pairwise maximum of each item and the one before it (np.maximum
# of the shifted views, item 0 against itself, as |': does), for int64,
# int32 and float64, and a copy of the same bytes.  Prints the best of 20
# runs of each, in milliseconds.
import timeit
import numpy as np

N = 10_000_000
rng = np.random.default_rng(1)
walk = np.cumsum(rng.integers(-127, 129, N))


def deltas(x):
    return np.diff(x, prepend=x.dtype.type(0))


def pmax(x):
    r = np.empty_like(x)
    r[0] = x[0]
    np.maximum(x[1:], x[:-1], out=r[1:])
    return r


for dt in (np.int64, np.int32, np.float64):
    x = walk.astype(dt) * (0.25 if dt == np.float64 else 1)
    x = x.astype(dt)
    cases = {"deltas": lambda: deltas(x), "max": lambda: pmax(x), "copy": lambda: x.copy()}
    for name, f in cases.items():
        f()
        best = min(timeit.repeat(f, number=1, repeat=20))
        print(f"numpy {np.dtype(dt).name:7s} {name:7s} {best * 1e3:8.3f} ms")
