#!/usr/bin/env bash
# Installs what is missing, builds the engine and runs the example.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build
build/zelko examples/hello.zk
