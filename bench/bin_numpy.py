"""numpy beside bench/bin_bench.cpp (run with /usr/bin/python3): searchsorted
(side='right', minus one: the same answer as x'y) of 10^7 probes into a
sorted vector of 10^6 int64, and isin of the 1M needles in the 10M distinct
int64 of ../shared/peers (find_table_i64_10m.bin, find_needles_i64_1m.bin
under $PEERS_DATA, default /tmp/peers-data).  Medians of 5 after a warm-up."""
import os
import time

import numpy as np


def med(f, k=5):
    f()
    ts = []
    for _ in range(k):
        t = time.perf_counter()
        f()
        ts.append(time.perf_counter() - t)
    return sorted(ts)[k // 2]


rng = np.random.default_rng(42)
x = np.sort(rng.integers(0, 2**60, 1_000_000, dtype=np.int64))
y = rng.integers(0, 2**60, 10_000_000, dtype=np.int64)
print(f"searchsorted_1e7_in_1e6 {med(lambda: np.searchsorted(x, y, side='right') - 1) * 1e3:.1f} ms")

d = os.environ.get("PEERS_DATA", "/tmp/peers-data")
try:
    t = np.fromfile(os.path.join(d, "find_table_i64_10m.bin"), dtype=np.int64)
    nd = np.fromfile(os.path.join(d, "find_needles_i64_1m.bin"), dtype=np.int64)
    print(f"isin_1m_in_10m {med(lambda: np.isin(nd, t)) * 1e3:.1f} ms hits={int(np.isin(nd, t).sum())}")
except FileNotFoundError:
    print("isin_1m_in_10m: no peers data (run ../shared/peers/compare.sh find_1m_in_10m once)")
