# numpy's figures for bench_amend_bench: 10^7 random indexes into 10^6
# int64, by np.add.at (unbuffered, repeated indexes all land) and by the
# buffered x[i] += 1 (repeated indexes land once).  Best of 5, in ms.
import timeit
import numpy as np

n, m = 1_000_000, 10_000_000
x = np.arange(n, dtype=np.int64)
i = np.random.default_rng(26).integers(0, n, m).astype(np.int32)


def buffered():
    x[i] += 1


cases = {
    "np.add.at": lambda: np.add.at(x, i, 1),
    "x[i] += 1 (buffered)": buffered,
}
for k, f in cases.items():
    print(f"{k}: {min(timeit.repeat(f, number=1, repeat=5)) * 1e3:.2f} ms")
