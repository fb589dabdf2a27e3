# numpy's sum of 100M floats and 100M longs, running sum of 10M floats, and
# a copy of 800 MB: the reference figures for bench_red_bench.  Prints the
# best of 10 runs of each, in milliseconds.
import timeit
import numpy as np

N, NS = 100_000_000, 10_000_000
rng = np.random.default_rng(1)
f = rng.random(N)
j = rng.integers(0, 1000003, N, dtype=np.int64)
fs = f[:NS].copy()
z = np.empty_like(j)
cases = {
    "sum_f64 (100M)": lambda: f.sum(),
    "sum_i64 (100M)": lambda: j.sum(),
    "cumsum_f64 (10M)": lambda: np.cumsum(fs),
    "copy (800 MB)": lambda: np.copyto(z, j),
}
for name, fn in cases.items():
    fn()
    best = min(timeit.repeat(fn, number=1, repeat=10))
    print(f"numpy {np.__version__} {name:18s} {best * 1e3:9.3f} ms")
