#!/usr/bin/env bash
# The README's example prints what examples/hello.out says it prints.
set -euo pipefail
host=$1 script=$2
out=$("$host" "$script")
want=$(cat "${script%.zk}.out")
if [ "$out" != "$want" ]; then
  echo "example output differs:"; diff <(echo "$want") <(echo "$out") || true
  echo "0 passed, 1 failed"; exit 1
fi
echo "1 passed, 0 failed"
