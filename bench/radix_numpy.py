# numpy's stable argsort and sort of the 10M items of bench_radix_bench
# (splitmix64 of 0..n-1: int64 over the full range, floats in [0, 1),
# int32, int64 in 0..99,999), plus the default (unstable) sort of the int64
# column.  Prints the best of 5 runs of each, in milliseconds.
import timeit
import numpy as np

N = 10_000_000
with np.errstate(over="ignore"):
    z = (np.arange(N, dtype=np.uint64) + np.uint64(1)) * np.uint64(0x9E3779B97F4A7C15)
    z = (z ^ (z >> np.uint64(30))) * np.uint64(0xBF58476D1CE4E5B9)
    z = (z ^ (z >> np.uint64(27))) * np.uint64(0x94D049BB133111EB)
    z = z ^ (z >> np.uint64(31))
i64 = z.view(np.int64)
f64 = (z >> np.uint64(11)).astype(np.float64) / 9007199254740992.0
i32 = z.astype(np.uint32).view(np.int32)
nar = (z % np.uint64(100000)).astype(np.int64)
cases = {
    "grade_i64 (argsort stable)": lambda: np.argsort(i64, kind="stable"),
    "sort_i64 (sort stable)": lambda: np.sort(i64, kind="stable"),
    "sort_i64 (sort default)": lambda: np.sort(i64),
    "grade_f64 (argsort stable)": lambda: np.argsort(f64, kind="stable"),
    "sort_f64 (sort stable)": lambda: np.sort(f64, kind="stable"),
    "grade_i32 (argsort stable)": lambda: np.argsort(i32, kind="stable"),
    "grade_i64_narrow (argsort stable)": lambda: np.argsort(nar, kind="stable"),
    "sort_i64_narrow (sort stable)": lambda: np.sort(nar, kind="stable"),
}
for name, fn in cases.items():
    fn()
    best = min(timeit.repeat(fn, number=1, repeat=5))
    print(f"numpy {np.__version__} {name:34s} {best * 1e3:9.1f} ms")
