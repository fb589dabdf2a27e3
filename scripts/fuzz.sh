#!/usr/bin/env bash
# Builds and runs the libFuzzer targets in tests/fuzz with clang, every
# engine source instrumented (address, undefined behaviour, coverage).
#
#   scripts/fuzz.sh build          build build-fuzz/parse_fuzz, eval_fuzz,
#                                  qdes_fuzz, des_fuzz and json_fuzz
#   scripts/fuzz.sh run SECONDS    build, then run all at once for SECONDS
#                                  each on the committed corpus; fails on
#                                  any fault a target reports.  Each target
#                                  takes a core: json_fuzz runs beside the
#                                  other four only when there is a fifth.
#
# The engine objects go into one archive whose calls into the system are
# renamed to the sandbox's stand-ins (tests/fuzz/sandbox.syms), so random
# statements reach no file, process or signal.  eval_fuzz starts from
# tests/fuzz/corpus/eval plus every statement of tests/lang/*.cases, with
# tests/fuzz/eval.dict plus the verb and builtin names of
# src/eval/tables.cpp as its dictionary.  New corpus entries and fault
# reproducers go to build-fuzz/ (see the log there); a fault found and
# fixed is kept by copying its input into tests/fuzz/corpus/<target>.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build-fuzz
cxx=${ZK_FUZZ_CXX:-clang++}
jobs=${ZK_FUZZ_JOBS:-$(nproc)}

if ! command -v "$cxx" >/dev/null; then
  echo "fuzz: $cxx is not installed (scripts/deps.sh installs it); fuzzing skipped"
  exit 0
fi
launch=()
command -v ccache >/dev/null && launch=(ccache)
cf=(-std=c++20 -O1 -gline-tables-only -fno-exceptions -fno-rtti -ffp-contract=off -msse4.2 -fno-omit-frame-pointer
    -Isrc -Iinclude)
san=(-fsanitize=address,undefined -fno-sanitize-recover=undefined)

build() {
  mkdir -p $out/obj
  local srcs
  srcs=$(find src/core src/eval src/capi src/num src/list src/order src/table src/io src/shell \
    -name '*.cpp' 2>/dev/null | sort)
  # One object per source, in parallel; ccache makes a rebuild cheap.  The
  # VM's dispatch loop takes clang minutes at -O1 with the undefined-
  # behaviour checks and seconds at -O0, where it keeps every check.
  printf '%s\n' $srcs | xargs -P "$jobs" -n 1 bash -c '
    o='"$out"'/obj/$(echo "$1" | tr / _).o
    opt=; [ "$1" = src/eval/vm.cpp ] && opt=-O0
    '"${launch[*]} $cxx ${cf[*]} ${san[*]}"' $opt -fsanitize=fuzzer-no-link -c "$1" -o "$o" ||
      { echo "fuzz: $1 does not compile"; exit 255; }' _
  rm -f $out/libzkfuzz.a
  local objs=()
  for f in $srcs; do objs+=("$out/obj/$(echo "$f" | tr / _).o"); done
  ar rcs $out/libzkfuzz.a "${objs[@]}"
  objcopy --redefine-syms=tests/fuzz/sandbox.syms $out/libzkfuzz.a
  for t in parse_fuzz eval_fuzz json_fuzz; do
    "$cxx" "${cf[@]}" "${san[@]}" -fsanitize=fuzzer tests/fuzz/$t.cpp tests/fuzz/sandbox.cpp \
      $out/libzkfuzz.a -lpthread -ldl -o $out/$t
  done
  # The decoders' targets: one source, two entry points.
  for t in qdes_fuzz des_fuzz; do
    local d=()
    [ $t = des_fuzz ] && d=(-DZK_FUZZ_DES)
    "$cxx" "${cf[@]}" "${san[@]}" "${d[@]}" -fsanitize=fuzzer tests/fuzz/ipc_fuzz.cpp \
      tests/fuzz/sandbox.cpp $out/libzkfuzz.a -lpthread -ldl -o $out/$t
  done
  # The dictionary: the fixed glyphs and forms, then every name the verb
  # and builtin tables bind.
  { cat tests/fuzz/eval.dict
    grep -o 'X([0-9]*, "[^"]\+"' src/eval/tables.cpp | sed 's/^X([0-9]*, //' | sort -u
  } > $out/eval.dict
  # Seeds: each statement of the language cases on its own.
  mkdir -p $out/seed
  local n=0
  for f in tests/lang/*.cases; do
    while IFS= read -r line; do
      case "$line" in ''|'/ '*) continue ;; esac
      printf '%s' "${line%% -> *}" > $out/seed/$(basename "$f" .cases)-$n
      n=$((n + 1))
    done < "$f"
  done
}

# run1 TARGET SECONDS DICT CORPUS...: new entries go to build-fuzz/corpus-TARGET.
# Inputs run in a child process (-fork) whose loss to the time or memory
# limit is counted, not fatal: a statement may rightly never end (a
# converge that does not converge) or ask for more memory than the limit.
# Crashes, sanitizer reports and the targets' own checks end the run.
run1() {
  local t=$1 s=$2 d=$3
  shift 3
  rm -rf $out/art-$t
  mkdir -p $out/corpus-$t $out/art-$t
  "$out/$t" -fork=1 -ignore_timeouts=1 -ignore_ooms=1 -ignore_crashes=0 -max_total_time="$s" \
    -timeout=10 -rss_limit_mb=4096 -malloc_limit_mb=2048 -max_len=512 -dict="$d" \
    -artifact_prefix=$out/art-$t/ $out/corpus-$t "$@" > $out/$t.log 2>&1 || true
  # The exit status of a fork run is its last child's, a counted timeout
  # included: the faults are the inputs it kept for them.
  ! ls $out/art-$t | grep -qvE '^(timeout|oom|slow-unit)-'
}

case "${1:-build}" in
  build) build ;;
  run)
    secs=${2:-60}
    build
    mkdir -p tests/fuzz/corpus/eval tests/fuzz/corpus/parse
    ulimit -s 262144 2>/dev/null || true
    st=0
    run1 eval_fuzz "$secs" $out/eval.dict tests/fuzz/corpus/eval $out/seed &
    pe=$!
    run1 parse_fuzz "$secs" tests/fuzz/parse.dict tests/fuzz/corpus/parse $out/seed &
    pp=$!
    mkdir -p tests/fuzz/corpus/qdes tests/fuzz/corpus/des
    run1 qdes_fuzz "$secs" tests/fuzz/ipc.dict tests/fuzz/corpus/qdes &
    pq=$!
    run1 des_fuzz "$secs" tests/fuzz/ipc.dict tests/fuzz/corpus/des &
    pd=$!
    ts=(eval_fuzz parse_fuzz qdes_fuzz des_fuzz)
    if (($(nproc) >= 5)); then
      mkdir -p tests/fuzz/corpus/json
      run1 json_fuzz "$secs" tests/fuzz/json.dict tests/fuzz/corpus/json \
        tests/data/JSONTestSuite/test_parsing &
      pj=$!
      ts+=(json_fuzz)
    fi
    wait $pe || st=1
    wait $pp || st=1
    wait $pq || st=1
    wait $pd || st=1
    if [ -n "${pj:-}" ]; then wait $pj || st=1; fi
    for t in "${ts[@]}"; do
      echo "fuzz: $t: $(grep -E '^#[0-9]+' $out/$t.log | tail -1)"
    done
    if ((st)); then
      echo "fuzz: a target reported a fault; the log and the input are in $out/"
      grep -hE 'ERROR|eval_fuzz:|parse_fuzz:|ipc_fuzz:|json_fuzz:|SUMMARY|Test unit written' $out/*.log | head -20
      ls $out/art-*/
      exit 1
    fi
    ;;
  *) echo "usage: scripts/fuzz.sh [build | run SECONDS]" >&2; exit 2 ;;
esac
