#!/bin/sh
# Runs the moving-window benchmark and its peers back to back, so that
# their ratios come from one run.  $1: the Release build directory
# (default build-rel); Polars is looked up from $POLARS_DIR (a directory
# holding node_modules/nodejs-polars), and skipped when absent.
B=${1:-build-rel}
D=$(dirname "$0")
echo "nproc $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg)"
"$B/bench_mov_bench" --benchmark_min_time=0.5
/usr/bin/python3 "$D/mov_peers.py" || echo "pandas: not available"
if [ -n "$POLARS_DIR" ] && [ -d "$POLARS_DIR/node_modules/nodejs-polars" ]; then
  cp "$D/mov_polars.mjs" "$POLARS_DIR/" && (cd "$POLARS_DIR" && POLARS_MAX_THREADS=1 node mov_polars.mjs)
else
  echo "polars: set POLARS_DIR to a directory with nodejs-polars installed"
fi
echo "load after $(cut -d' ' -f1-3 /proc/loadavg)"
