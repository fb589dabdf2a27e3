#!/usr/bin/env bash
# Runs the unit-test binary of a build one suite per process, JOBS at a
# time: under the sanitizers a process start costs more than most tests,
# so this is several times cheaper than one process per test.  The
# language case files share global names, so each of those runs alone.
#   scripts/suites.sh BUILD_DIR [JOBS]
set -uo pipefail
bin=$1/unit_tests
jobs=${2:-$(nproc)}
logs=$1/suites
rm -rf "$logs" && mkdir -p "$logs"
"$bin" --gtest_list_tests | awk '
  /^[^ ]/ { s = $1; sub(/\.$/, "", s); next }
  { if (s ~ /^Files\/Lang$/) print s "." $1; else if (!(s in seen)) { seen[s]; print s ".*" } }' |
  xargs -P "$jobs" -I{} bash -c '
    f="{}"; log='"$logs"'/$(echo "$f" | tr "/*" "_x").log
    if timeout 1200 "'"$bin"'" --gtest_filter="$f" >"$log" 2>&1; then echo "ok   $f"; else echo "FAIL $f"; cat "$log"; exit 255; fi'
