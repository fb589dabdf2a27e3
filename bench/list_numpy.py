# numpy's take of 10M random indexes from 10M longs and 10M floats (the
# indexes kept inside, as take requires, plus the null mask that our gather
# applies for the ones outside), and the concatenation of two 10M-long
# vectors: the reference figures for bench_list_bench.  Prints the best of
# 10 runs of each, in milliseconds.
import timeit
import numpy as np

N = 10_000_000
rng = np.random.default_rng(1)
j = rng.integers(0, 1 << 44, N, dtype=np.int64)
f = rng.random(N)
i = rng.integers(0, N + N // 100, N, dtype=np.int64)
out = i >= N
ic = np.where(out, 0, i)


def take_masked(x, fill):
    r = np.take(x, ic)
    r[out] = fill
    return r


cases = {
    "take_i64 (10M)": lambda: np.take(j, ic),
    "take_f64 (10M)": lambda: np.take(f, ic),
    "take_i64+mask (10M)": lambda: take_masked(j, np.iinfo(np.int64).min),
    "take_f64+mask (10M)": lambda: take_masked(f, np.nan),
    "concatenate_i64 (2x10M)": lambda: np.concatenate((j, j)),
}
for name, fn in cases.items():
    fn()
    best = min(timeit.repeat(fn, number=1, repeat=10))
    print(f"numpy {np.__version__} {name:24s} {best * 1e3:9.3f} ms")
