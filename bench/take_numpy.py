# numpy's figures for bench_take_bench: np.resize of 10^3 bytes to 10^8,
# and the slice copy x[:-1].copy() of 10^8 bytes and of 10^7 longs.
# Prints the best of 10 runs of each, in milliseconds.
import timeit
import numpy as np

b = (np.arange(1000, dtype=np.uint64) * 131 + 7).astype(np.uint8)
u8 = (np.arange(100_000_000, dtype=np.uint64) * 131 + 7).astype(np.uint8)
i64 = np.ones(10_000_000, dtype=np.int64)
cases = {
    "resize u8 1e3 -> 1e8": lambda: np.resize(b, 100_000_000),
    "slice copy u8 1e8": lambda: u8[:-1].copy(),
    "slice copy i64 1e7": lambda: i64[:-1].copy(),
}
for k, f in cases.items():
    print(f"{k}: {min(timeit.repeat(f, number=1, repeat=10)) * 1e3:.2f} ms")
