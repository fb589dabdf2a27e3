# numpy's float work on 10M items, the reference figures for
# bench_flt_bench: a + b and a * b into a new array and in place, a * 1.0001,
# a < b into a new bool array and into a reused one, and a copy of one
# argument's bytes.  Data as in the benchmark: factors in [0.9, 1.1), and
# [-1, 1) for the comparison.  Prints the best of 20 runs, in milliseconds.
import timeit
import numpy as np

N = 10_000_000
rng = np.random.default_rng(1)
x = rng.uniform(0.9, 1.1, N)
y = rng.uniform(0.9, 1.1, N)
p = rng.uniform(-1, 1, N)
q = rng.uniform(-1, 1, N)
z = np.empty_like(x)
m = np.empty(N, dtype=bool)
cases = {
    "add_new": lambda: x + y,
    "add_inplace": lambda: np.add(x, y, out=y),
    "mul_new": lambda: x * y,
    "mul_inplace": lambda: np.multiply(x, y, out=y),
    "mul_atom_new": lambda: y * 1.0001,
    "lt_new": lambda: p < q,
    "lt_out": lambda: np.less(p, q, out=m),
    "copy": lambda: np.copyto(z, x),
}
print(f"numpy {np.__version__}")
for name, f in cases.items():
    f()
    best = min(timeit.repeat(f, number=1, repeat=20))
    print(f"numpy {name:14s} {best * 1e3:8.3f} ms")
