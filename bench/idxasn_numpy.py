# The peers of bench_idxasn_bench: CPython 3's loop of 10^6 x[i] = i over a
# list in a function (x a local), and numpy's x[i] = y with 10^7 random
# int64 indexes into 10^7 int64.  Best of 5, in ms.
import timeit
import numpy as np


def loop():
    x = [0] * 1_000_000
    for i in range(1_000_000):
        x[i] = i
    return x


n = 10_000_000
x = np.arange(n, dtype=np.int64)
i = np.random.default_rng(29).integers(0, n, n, dtype=np.int64)
y = np.arange(n, dtype=np.int64) * 3


def scatter():
    x[i] = y


for k, f in {"CPython list loop x[i] = i": loop, "numpy x[i] = y": scatter}.items():
    print(f"{k}: {min(timeit.repeat(f, number=1, repeat=5)) * 1e3:.2f} ms")
