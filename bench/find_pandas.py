# pandas factorize of 10M strings over 10^4 names (the peer of senc in
# bench/find_bench.cpp), median of 5 after a warm-up.
import time
import numpy as np
import pandas as pd

rng = np.random.default_rng(7)
names = np.array([f"sym{i:05d}" for i in range(10000)], dtype=object)
s = pd.Series(names[rng.integers(0, 10000, 10_000_000)])
pd.factorize(s)
ts = []
for _ in range(5):
    t = time.perf_counter()
    codes, uniq = pd.factorize(s)
    ts.append(time.perf_counter() - t)
print(f"pandas factorize 10M of 10^4: {sorted(ts)[2] * 1000:.1f} ms")
