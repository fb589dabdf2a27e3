# pandas beside bench/group_bench.cpp: unique of 10M int64 holding 1M
# distinct values spread over the int64 range, and
# groupby(sort=False).indices of 10M strings over 1,000 names; medians of 5
# after a warm-up.  Run with /usr/bin/python3.
import time
import numpy as np
import pandas as pd

rng = np.random.default_rng(20240611)
v = rng.integers(-2**63, 2**63 - 1, 1_000_000, dtype=np.int64, endpoint=True)
d = rng.permutation(np.concatenate([v, v[rng.integers(0, 1_000_000, 9_000_000)]]))
names = np.array([f"g{i:04d}" for i in range(1000)], dtype=object)
s = pd.Series(names[rng.integers(0, 1000, 10_000_000)])


def med(f):
    f()
    ts = []
    for _ in range(5):
        t = time.perf_counter()
        f()
        ts.append(time.perf_counter() - t)
    return sorted(ts)[2] * 1000


print(f"pandas unique 10M int64, 1M spread: {med(lambda: pd.unique(d)):.1f} ms")
print(f"pandas groupby(sort=False).indices 10M strings of 1,000: "
      f"{med(lambda: s.groupby(s, sort=False).indices):.1f} ms")
