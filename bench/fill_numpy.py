# numpy's figures for bench_fill_bench: boolean indexing of 10^8 int64 and
# of 10^8 float64 by a mask of half ones at random, and the fill of the NaN
# tenth of 10^8 float64 with 0 by np.where(np.isnan(x), 0, x) and in place
# by np.nan_to_num(x, copy=False) (the NaN items put back between runs,
# outside the timing).  Prints the best of 10 runs of each, in milliseconds.
import time
import timeit
import numpy as np

N = 100_000_000
g = np.random.default_rng(1)
mask = g.integers(0, 2, N).astype(bool)
i64 = np.arange(N, dtype=np.int64)
f64 = np.arange(N, dtype=np.float64)
src = np.arange(N, dtype=np.float64)
src[g.integers(0, 10, N) == 0] = np.nan
cases = {
    "compress i64 1e8": lambda: i64[mask],
    "compress f64 1e8": lambda: f64[mask],
    "where(isnan) f64 1e8": lambda: np.where(np.isnan(src), 0, src),
}
for k, f in cases.items():
    print(f"{k}: {min(timeit.repeat(f, number=1, repeat=10)) * 1e3:.2f} ms")
x = src.copy()
best = 1e9
for _ in range(10):
    np.copyto(x, src)
    t = time.perf_counter()
    np.nan_to_num(x, copy=False)
    best = min(best, time.perf_counter() - t)
print(f"nan_to_num(copy=False) f64 1e8: {best * 1e3:.2f} ms")
