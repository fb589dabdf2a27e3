# numpy's figures for bench_cmpcnt_bench, 10M items each: counted compares
# np.count_nonzero(x<v) of int8, int32 and float64, the masked sum
# x[m].sum() with about half the mask set, and np.dot of two int64 vectors.
# Prints the best of 10 runs of each, in milliseconds.
import timeit
import numpy as np

N = 10_000_000
rng = np.random.default_rng(1)
i8 = rng.integers(-128, 128, N, dtype=np.int8)
i32 = rng.integers(-2**31, 2**31, N, dtype=np.int32)
f = rng.random(N)
m = rng.integers(0, 2, N).astype(bool)
j = rng.integers(0, 1000003, N, dtype=np.int64)
k = rng.integers(0, 1000003, N, dtype=np.int64)
cases = {
    "cnt_i8": lambda: np.count_nonzero(i8 < 0),
    "cnt_i32": lambda: np.count_nonzero(i32 < 0),
    "cnt_f64": lambda: np.count_nonzero(f < 0.5),
    "msum_f64": lambda: f[m].sum(),
    "dot_i64": lambda: np.dot(j, k),
}
for name, fn in cases.items():
    fn()
    best = min(timeit.repeat(fn, number=1, repeat=10))
    print(f"numpy {np.__version__} {name:10s} {best * 1e3:9.3f} ms")
