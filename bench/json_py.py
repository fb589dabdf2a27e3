# Python's json.dumps of the peers' records.json (read with json.load
# first, untimed): the writer's peer for bench_json_bench's BM_write.
# Median of 5, ms.  argv[1]: the file (default $PEERS_DATA/records.json).
import json
import os
import statistics
import sys
import time

p = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    os.environ.get("PEERS_DATA", "/tmp/peers-data"), "records.json")
with open(p, "rb") as f:
    v = json.load(f)
ts, n = [], 0
for _ in range(5):
    t = time.perf_counter()
    s = json.dumps(v)
    ts.append(time.perf_counter() - t)
    n = len(s)
print(f"python json.dumps  {statistics.median(ts) * 1e3:9.1f} ms  ({n} chars)")
# The engine writes without blanks; Python's compact form for comparison.
ts = []
for _ in range(5):
    t = time.perf_counter()
    json.dumps(v, separators=(",", ":"))
    ts.append(time.perf_counter() - t)
print(f"python json.dumps compact {statistics.median(ts) * 1e3:9.1f} ms")
