# numpy's array_equal of two equal arrays in two buffers, 10^8 int8 and
# 10^7 int64: the reference figures for bench_match_bench.  Prints the
# best of 20 runs of each, in milliseconds.
import timeit
import numpy as np

rng = np.random.default_rng(1)
for n, dt in ((100_000_000, np.int8), (10_000_000, np.int64)):
    x = rng.integers(-100, 100, n).astype(dt)
    y = x.copy()
    f = lambda: np.array_equal(x, y)
    f()
    best = min(timeit.repeat(f, number=1, repeat=20))
    print(f"numpy array_equal {np.dtype(dt).name:5s} {best * 1e3:8.3f} ms")
