#!/bin/sh
# Runs the cast benchmark and numpy's astype back to back, so that their
# ratios come from one run.  $1: the Release build directory (default
# build-rel).
B=${1:-build-rel}
D=$(dirname "$0")
echo "nproc $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg)"
"$B/bench_cast_bench" --benchmark_min_time=0.5
/usr/bin/python3 "$D/cast_numpy.py" || echo "numpy: not available"
echo "load after $(cut -d' ' -f1-3 /proc/loadavg)"
