#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, skipping the
# ones already present.  Safe to run again.
set -euo pipefail
pkgs=(g++ binutils cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
      python3 python3-dev python3-numpy python3-pytest)
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
