#!/usr/bin/env bash
# Builds the libFuzzer programs of the parsers (fuzz/) with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz, and runs each over its seed corpus:
#   scripts/fuzz.sh                        every program for 5 seconds
#   scripts/fuzz.sh 600 StorageFuzz        one program for ten minutes
# New inputs go to build-fuzz/corpus/<program>/, the committed seeds stay as they are. An input
# that breaks a program is kept in build-fuzz/findings/ and fails the script.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-5}
shift || true
build="$root/build-fuzz"

CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DMELVOX_FUZZ=ON -DMELVOX_TESTS=OFF \
  -DMELVOX_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzzers

programs=("$@")
if [ ${#programs[@]} -eq 0 ]; then
  for source in "$root"/fuzz/*Fuzz.cpp; do programs+=("$(basename "$source" .cpp)"); done
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export LSAN_OPTIONS=suppressions=$root/fuzz/leaks.supp
# The programs that read files save them with fsync: on a memory file system that costs nothing.
if [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
mkdir -p "$build/findings"
failed=()
for program in "${programs[@]}"; do
  mkdir -p "$build/corpus/$program"
  log="$build/$program.log"
  if "$root/scripts/netns.sh" "$build/fuzz/$program" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
    -artifact_prefix="$build/findings/$program-" "$build/corpus/$program" "$root/fuzz/corpus/$program" \
    >"$log" 2>&1; then
    # The runs and the edges reached, for the record of a long run.
    echo "$program: $(grep -E '^Done [0-9]+ runs' "$log" | tail -1), $(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1)"
  else
    echo "$program: FAILED (log: $log)"
    tail -40 "$log"
    failed+=("$program")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzz programs that found a fault: ${failed[*]}"
  exit 1
fi
