#!/bin/sh
# JSON reading and writing beside the peers, in one run so the ratios
# compare: the peers' compare.sh json_parse_200mb (DuckDB read_json,
# Python json.load, Polars; it also makes records.json), then
# bench_json_bench (j?1: of the file, the read included, and j of the
# result; medians of 5) and Python's json.dumps of the same records.
# $1: the Release build directory (default build-rel); $PEERS_DIR: the
# peers' folder (default ../shared/peers beside the repository).
B=${1:-build-rel}
D=$(dirname "$0")
echo "nproc $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg)"
"${PEERS_DIR:-$D/../../shared/peers}/compare.sh" -l "$B/libzelko.so" json_parse_200mb
"$B/bench_json_bench" --benchmark_format=console
/usr/bin/python3 "$D/json_py.py"
echo "load after $(cut -d' ' -f1-3 /proc/loadavg)"
