#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the normal
# build (unit tests and the long differential runs), then the unit tests
# again under AddressSanitizer and UndefinedBehaviorSanitizer, then a
# minute of each fuzz target (all at once) on the committed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)

# Line tables are all a failing test's backtrace needs, and cheaper to build.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" >/dev/null
ninja -C build
ctest --test-dir build --output-on-failure -j "$jobs"

# The same for a sanitizer report.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZK_SANITIZE=ON -DZK_BENCH=OFF \
  -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1 >/dev/null
ninja -C build-asan
# Sanitized frames are several times larger: the 2,048-call depth limit
# needs a bigger main-thread stack than the default 8 MiB there.
ulimit -s 262144 2>/dev/null || ulimit -s unlimited 2>/dev/null || true
# The GoogleTest binary one suite per process (scripts/suites.sh), then the
# other unit-labelled tests (C API programs, the terminal and Python hosts).
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
scripts/suites.sh build-asan "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs" -L unit \
  -R '^(capi_.*|example_host|term_host|py_zelko)$'
unset ASAN_OPTIONS UBSAN_OPTIONS

# The fuzz targets build with clang (scripts/fuzz.sh skips with a message
# when it is missing); one minute each, side by side.
scripts/fuzz.sh run 60
