#!/usr/bin/env bash
# Runs the Python module's tests: run.sh PYTHON PYDIR ABISHIM.  PYDIR holds
# zelko/_zelko*.so.  A sanitized build needs the sanitizer runtime loaded
# before the interpreter; the interpreter's own leaks at exit are not ours,
# so leak detection is off here (the tests check memory stays flat).
set -euo pipefail
py=$1
export ZELKO_PY_DIR=$2 ZELKO_ABI_SHIM=$3
mod=$(ls "$ZELKO_PY_DIR"/zelko/_zelko*.so)
asan=$(ldd "$mod" | awk '/libasan/ {print $3}')
if [ -n "$asan" ]; then
  export LD_PRELOAD="$asan${LD_PRELOAD:+:$LD_PRELOAD}"
  # A small quarantine: freed memory it holds would read as growth.  Ours
  # come last, so they win over options the caller set for the C tests.
  export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0:quarantine_size_mb=4" ZELKO_PY_ASAN=1
fi
cd "$(dirname "$0")"
exec "$py" -m pytest -q -p no:cacheprovider .
