#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, skipping the
# ones already present.  Safe to run again.
set -euo pipefail
pkgs=(g++ binutils cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
      python3 python3-dev python3-numpy python3-pytest tmux)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# DuckDB's C library, the outside judge of the Arrow bridge's tests: the npm
# package ships libduckdb.so (the tests dlopen it and skip without it).
DUCKDB_NPM=@duckdb/node-bindings-linux-x64@1.5.6-r.1
dd="$(dirname "$0")/../third_party/duckdb"
if [ "$(uname -m)" = x86_64 ] && [ ! -f "$dd/package/libduckdb.so" ]; then
  command -v npm >/dev/null || { SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
    $SUDO apt-get update -qq; DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq npm >/dev/null; }
  mkdir -p "$dd"
  (cd "$dd" && rm -rf package && npm pack -q "$DUCKDB_NPM" >/dev/null && tar xzf duckdb-node-bindings-linux-x64-*.tgz && rm -f ./*.tgz) ||
    echo "deps: DuckDB's library could not be fetched; the tests that compare with it skip"
fi
