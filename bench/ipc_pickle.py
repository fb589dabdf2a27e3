#!/usr/bin/env python3
# Python pickle (protocol 5) of the arrays of bench/ipc_bench.cpp: a 100 MB
# int64 and a 100 MB float64 numpy array, and the four 10M-row columns of
# the table (int64, float64, int32, int32 dates), dumps and loads, with a
# bytes copy of the same size as the floor.  Prints GB/s of pickled bytes.
import pickle, time
import numpy as np

N, R = 12500000, 10000000
vals = {
    'long': np.arange(N, dtype=np.int64) * 2654435761,
    'float': np.arange(N, dtype=np.float64) * 0.5,
    'table': {'a': np.arange(R, dtype=np.int64) * 2654435761, 'b': np.arange(R) * 0.5,
              'c': (np.arange(R, dtype=np.int64) * 7).astype(np.int32),
              'd': (np.arange(R) % 9000).astype(np.int32)},
}

def best(f, k=5):
    t = 1e9
    for _ in range(k):
        a = time.perf_counter(); f(); t = min(t, time.perf_counter() - a)
    return t

b = bytearray(N * 8)
print('copy  %.2f GB/s' % (N * 8 / best(lambda: bytes(b)) / 1e9))
for n, v in vals.items():
    p = pickle.dumps(v, protocol=5)
    print('%-6s dumps %.2f GB/s  loads %.2f GB/s' % (
        n, len(p) / best(lambda: pickle.dumps(v, protocol=5)) / 1e9,
        len(p) / best(lambda: pickle.loads(p)) / 1e9))
