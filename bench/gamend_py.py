# CPython's figure for bench_gamend_bench: 10^6 stores d['a'][i] = i into
# a dict of lists, in a loop.  Best of 5, in ms.
import timeit

d = {"a": [0] * 1_000_000, "b": [0] * 1_000_000}


def loop():
    for i in range(1_000_000):
        d["a"][i] = i


print(f"d['a'][i] = i loop: {min(timeit.repeat(loop, number=1, repeat=5)) * 1e3:.2f} ms")
