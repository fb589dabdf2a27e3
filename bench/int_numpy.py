# numpy's integer addition of 10M items (int64, int32, int16, int8), in
# place and into a new array, and a copy of the same bytes: the reference
# figures for bench_int_bench.  Prints the best of 20 runs of each, in
# milliseconds.
import timeit
import numpy as np

N = 10_000_000
rng = np.random.default_rng(1)
for dt in (np.int64, np.int32, np.int16, np.int8):
    x = rng.integers(0, 4, N).astype(dt)
    y = rng.integers(0, 4, N).astype(dt)
    z = np.empty_like(y)
    cases = {
        "add_inplace": lambda: np.add(x, y, out=y),
        "add_new": lambda: x + y,
        "copy": lambda: np.copyto(z, x),
    }
    for name, f in cases.items():
        f()
        best = min(timeit.repeat(f, number=1, repeat=20))
        print(f"numpy {np.dtype(dt).name:5s} {name:12s} {best * 1e3:8.3f} ms")
