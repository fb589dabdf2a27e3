# numpy's figures for bench_fastid_bench on 10M items: the number of
# descents, np.diff, value counts of bytes by bincount and by unique, and
# x+s*v (into a new array, and in place with out=).  Best of 20 runs, ms.
import timeit
import numpy as np

N = 10_000_000
rng = np.random.default_rng(1)
x = np.cumsum(rng.integers(-127, 128, N))
b = rng.integers(0, 200, N).astype(np.int8)
r = np.arange(N) * 0.5
v = np.arange(N) * 0.25
t = np.empty(N)


def inplace():
    np.multiply(v, 1.5, out=t)
    np.add(r, t, out=t)


cases = {
    "descents": lambda: np.count_nonzero(x[1:] < x[:-1]),
    "diffs": lambda: np.diff(x),
    "bincount": lambda: np.bincount(b.view(np.uint8), minlength=256),
    "unique": lambda: np.unique(b, return_counts=True),
    "muladd": lambda: r + 1.5 * v,
    "muladd/inplace": inplace,
}
for name, f in cases.items():
    f()
    best = min(timeit.repeat(f, number=1, repeat=20))
    print(f"numpy {name:15s} {best * 1e3:8.3f} ms")
