# numpy's and pandas' figures for bench_time_bench, one thread: a
# datetime64[D] array of 10^8 dates plus an int, a datetime64[ns] array of
# 10^8 timestamps compared with one timestamp, and pandas' to_datetime of
# 10^7 timestamp texts in the engine's text form with an explicit format.
# Prints the best of a few runs of each, in milliseconds.
import os
os.environ.setdefault("OMP_NUM_THREADS", "1")
import timeit
import numpy as np
import pandas as pd

N = 100_000_000
NT = 10_000_000
rng = np.random.default_rng(1)
d = (rng.integers(0, 36500, N).astype("int32") + 10957).astype("datetime64[D]")
t = (rng.integers(0, 946080000000000000, N) + 946684800 * 10**9).astype("datetime64[ns]")
a = np.datetime64("2015-01-01T00:00:00", "ns")

def best(f, r=5):
    f()
    return min(timeit.repeat(f, number=1, repeat=r)) * 1e3

print(f"numpy date+int   {best(lambda: d + 7):9.1f} ms")
print(f"numpy timestamp< {best(lambda: t < a):9.1f} ms")

s = pd.Series(t[:NT]).dt.strftime("%Y.%m.%dD%H:%M:%S.%f")  # microseconds from strftime
s = s + "000"
print(f"pandas to_datetime {best(lambda: pd.to_datetime(s, format='%Y.%m.%dD%H:%M:%S.%f'), 3):9.1f} ms")
