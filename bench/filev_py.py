# Python's figures for bench_filev_bench on the same 1 GiB file (argv[1],
# default /tmp/zk_filev_1g): numpy fromfile and memmap, subprocess.run of
# /bin/cat with the bytes as input, hashlib.md5.  Best of a few runs, ms.
import hashlib
import subprocess
import sys
import timeit

import numpy as np

p = sys.argv[1] if len(sys.argv) > 1 else "/tmp/zk_filev_1g"
b = open(p, "rb").read()
cases = {
    "fromfile": (lambda: np.fromfile(p, dtype=np.uint8), 5),
    "memmap": (lambda: np.memmap(p, dtype=np.uint8, mode="c"), 20),
    "subprocess.run cat": (lambda: subprocess.run(["/bin/cat"], input=b, capture_output=True), 3),
    "hashlib.md5": (lambda: hashlib.md5(b).digest(), 3),
}
for name, (fn, r) in cases.items():
    fn()
    best = min(timeit.repeat(fn, number=1, repeat=r))
    print(f"python {name:20s} {best * 1e3:9.3f} ms")
