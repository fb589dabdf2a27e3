# numpy's figures for bench_where_bench: flatnonzero of a 10^8-byte mask
# (half ones, and 1% ones, at random) and the reversed copy x[::-1].copy()
# of 10^8 bytes and of 10^7 longs.  Prints the best of 10 runs of each, in
# milliseconds.
import timeit
import numpy as np

N = 100_000_000
g = np.random.default_rng(1)
half = (g.integers(0, 100, N) < 50).astype(np.uint8)
pct1 = (g.integers(0, 100, N) < 1).astype(np.uint8)
u8 = (np.arange(N, dtype=np.uint64) * 131 + 7).astype(np.uint8)
i64 = np.ones(N // 10, dtype=np.int64)
cases = {
    "flatnonzero half": lambda: np.flatnonzero(half),
    "flatnonzero 1%": lambda: np.flatnonzero(pct1),
    "reverse copy u8 1e8": lambda: u8[::-1].copy(),
    "reverse copy i64 1e7": lambda: i64[::-1].copy(),
}
for k, f in cases.items():
    print(f"{k}: {min(timeit.repeat(f, number=1, repeat=10)) * 1e3:.2f} ms")
