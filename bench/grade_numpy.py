# numpy beside bench_grade_bench on the same data (splitmix64 of 0..n-1):
# the stable argsort and sort of 10M full-range int64, lexsort of the 3
# columns of xs (packed and wide), and the stable argsort of the 1M symbol
# texts as byte strings.  Prints the best of 5 runs of each, in ms.
import timeit
import numpy as np

N, NS, NT = 10_000_000, 1_000_000, 10_000


def mix(i):
    with np.errstate(over="ignore"):
        z = (i.astype(np.uint64) + np.uint64(1)) * np.uint64(0x9E3779B97F4A7C15)
        z = (z ^ (z >> np.uint64(30))) * np.uint64(0xBF58476D1CE4E5B9)
        z = (z ^ (z >> np.uint64(27))) * np.uint64(0x94D049BB133111EB)
        return z ^ (z >> np.uint64(31))


r = np.arange(N, dtype=np.uint64)
i64 = mix(r).view(np.int64)
a = (mix(r) % np.uint64(100)).astype(np.int32)
b = (mix(r + np.uint64(N)) % np.uint64(10000)).astype(np.int32)
cp = (mix(r + np.uint64(2 * N)) % np.uint64(100000)).astype(np.int64)
cw = mix(r + np.uint64(2 * N)).view(np.int64)
tk = mix(np.arange(NT, dtype=np.uint64) + np.uint64(5 * N))
texts = np.array([("%016x" % int(v))[: 4 + k % 9].encode() for k, v in enumerate(tk)])
sym = texts[(mix(np.arange(NS, dtype=np.uint64) + np.uint64(3 * N)) % np.uint64(NT)).astype(np.int64)]
cases = {
    "grade_i64 (argsort stable)": lambda: np.argsort(i64, kind="stable"),
    "sort_i64 (sort stable)": lambda: np.sort(i64, kind="stable"),
    "xs3_packed (lexsort)": lambda: np.lexsort((cp, b, a)),
    "xs3_wide (lexsort)": lambda: np.lexsort((cw, b, a)),
    "grade_sym_1m (argsort stable, S bytes)": lambda: np.argsort(sym, kind="stable"),
}
for name, fn in cases.items():
    fn()
    best = min(timeit.repeat(fn, number=1, repeat=5))
    print(f"numpy {np.__version__} {name:40s} {best * 1e3:9.1f} ms")
