#!/usr/bin/env bash
# The README's example prints what examples/hello.out says it prints, and
# nothing on standard error: every statement succeeds.
set -euo pipefail
host=$1 script=$2
err=$(mktemp)
trap 'rm -f "$err"' EXIT
out=$(ZELKO_DIAG=1 "$host" "$script" 2>"$err")
want=$(cat "${script%.zk}.out")
if [ "$out" != "$want" ]; then
  echo "example output differs:"; diff <(echo "$want") <(echo "$out") || true
  echo "0 passed, 1 failed"; exit 1
fi
if [ -s "$err" ]; then
  echo "example wrote to standard error:"; cat "$err"
  echo "0 passed, 1 failed"; exit 1
fi
echo "1 passed, 0 failed"
