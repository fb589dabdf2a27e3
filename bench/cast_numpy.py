# numpy's astype over 100M items for the four casts of bench_cast_bench,
# and a copy of 800 MB: the reference figures.  Best of 5 runs, in ms.
import timeit
import numpy as np

N = 100_000_000
g = np.random.default_rng(1).integers(-(2**43), 2**43, N, dtype=np.int64)
i32 = g.astype(np.int32)
f64 = g / 1024.0
z = np.empty_like(g)
cases = {
    "i32_i64": lambda: i32.astype(np.int64),
    "i64_f64": lambda: g.astype(np.float64),
    "f64_i64": lambda: f64.astype(np.int64),
    "i64_i32": lambda: g.astype(np.int32),
    "copy (800 MB)": lambda: np.copyto(z, g),
}
for name, fn in cases.items():
    fn()
    best = min(timeit.repeat(fn, number=1, repeat=5))
    print(f"numpy {np.__version__} {name:14s} {best * 1e3:9.3f} ms")
