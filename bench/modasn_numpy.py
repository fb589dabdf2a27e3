# numpy's in-place a += 1.0 and a *= 1.0000001 on 100M floats, the
# reference for bench_modasn_bench.  Prints the best of 10 runs in ms.
import timeit
import numpy as np

a = 0.5 * np.arange(100_000_000, dtype=np.float64)
print(f"numpy {np.__version__}")
cases = {
    "add_inplace": lambda: np.add(a, 1.0, out=a),
    "mul_inplace": lambda: np.multiply(a, 1.0000001, out=a),
}
for name, f in cases.items():
    best = min(timeit.repeat(f, number=1, repeat=10))
    print(f"{name:12s} {best * 1e3:8.2f} ms")
