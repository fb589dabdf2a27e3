# pandas' rolling sum, mean, std, min and max with w = 10 and 10,000 over
# 10M floats, and ewm(adjust=False) with alpha 0.1: the reference figures
# for bench_mov_bench.  Best of 5 runs of each, in milliseconds.
import timeit
import numpy as np
import pandas as pd

N = 10_000_000
s = pd.Series(np.random.default_rng(1).random(N) * 100.0)
cases = {}
for w in (10, 10_000):
    r = s.rolling(w, min_periods=1)
    cases[f"sum w={w}"] = r.sum
    cases[f"mean w={w}"] = r.mean
    cases[f"std w={w}"] = lambda r=r: r.std(ddof=0)
    cases[f"min w={w}"] = r.min
    cases[f"max w={w}"] = r.max
cases["ewm"] = lambda: s.ewm(alpha=0.1, adjust=False).mean()
for name, fn in cases.items():
    fn()
    best = min(timeit.repeat(fn, number=1, repeat=5))
    print(f"pandas {pd.__version__} {name:12s} {best * 1e3:9.3f} ms")
