# numpy's figures for bench_rand_bench: Generator integers (int64 and the
# narrow dtype our rolls give), permutation and choice without replacement,
# an odd-only boolean sieve of 10^9, and multiply with isnan().any() of
# 10^7 floats.  Prints the best of a few runs of each, in milliseconds.
import timeit
import numpy as np

g = np.random.default_rng(1)
x = np.arange(10_000_000) * 0.5
yf = (np.arange(10_000_000) % 1000).astype(np.float64)
yi = (np.arange(10_000_000) % 1000).astype(np.int32)


def sieve(n):
    s = np.ones(n // 2, dtype=bool)
    s[0] = False
    for i in range(3, int(n ** 0.5) + 1, 2):
        if s[i // 2]:
            s[i * i // 2::i] = False
    return np.r_[2, 2 * np.nonzero(s)[0] + 1]


def wmul(a, b):
    p = np.multiply(a, b)
    return p, np.isnan(p).any()


cases = {
    "integers 1e7 below 10 (int64)": (lambda: g.integers(0, 10, 10_000_000), 5),
    "integers 1e7 below 10 (int8)": (lambda: g.integers(0, 10, 10_000_000, dtype=np.int8), 5),
    "integers 1e7 below 1e6 (int64)": (lambda: g.integers(0, 1_000_000, 10_000_000), 5),
    "integers 1e7 below 1e6 (int32)": (lambda: g.integers(0, 1_000_000, 10_000_000, dtype=np.int32), 5),
    "integers 1e7 below 1e12": (lambda: g.integers(0, 10 ** 12, 10_000_000), 5),
    "permutation 1e7": (lambda: g.permutation(10_000_000), 5),
    "choice 1e6 of 1e7 no replace": (lambda: g.choice(10_000_000, 1_000_000, replace=False), 5),
    "choice 1e7 of 1e9 no replace": (lambda: g.choice(1_000_000_000, 10_000_000, replace=False), 3),
    "sieve 1e9": (lambda: sieve(1_000_000_000), 2),
    "multiply+isnan 1e7 f*f": (lambda: wmul(x, yf), 10),
    "multiply+isnan 1e7 f*i32": (lambda: wmul(x, yi), 10),
}
for k, (f, r) in cases.items():
    print(f"{k}: {min(timeit.repeat(f, number=1, repeat=r)) * 1e3:.2f} ms", flush=True)
