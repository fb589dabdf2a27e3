# numpy's figures for bench/stats_bench.cpp: np.dot and np.cov of 10M
# floats, np.diff of 10M ints, numpy.linalg.inv at n = 100 and 300.
# Run with Debian's /usr/bin/python3; OMP/BLAS threads as the environment says.
import time
import numpy as np


def best(f, k=5):
    t = []
    for _ in range(k):
        a = time.perf_counter()
        f()
        t.append(time.perf_counter() - a)
    return min(t) * 1e3


n = 10_000_000
r = np.random.default_rng(1)
x, y = r.random(n) * 100, r.random(n) * 100
i = (r.random(n) * 100000).astype(np.int32)
print("np.dot   %.2f ms" % best(lambda: np.dot(x, y)))
print("np.cov   %.2f ms" % best(lambda: np.cov(x, y, bias=True)))
print("np.diff  %.2f ms" % best(lambda: np.diff(i, prepend=0)))
for m in (100, 300):
    a = r.random((m, m)) + np.eye(m) * 100 * m
    print("inv %d   %.3f ms" % (m, best(lambda: np.linalg.inv(a))))
