#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs every test inside a loopback-only network namespace under Xvfb; without arguments
# for ctest also the fuzz programs of the parsers, briefly (scripts/fuzz.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" build-test -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DMELVOX_SANITIZE=ON -DMELVOX_BENCH=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
(cd "$root/build-test" && "$root/scripts/netns.sh" xvfb-run -a ctest --output-on-failure -j "$(nproc)" "$@") ||
  status=$?
# With the whole suite, each fuzz program of the parsers also runs for a few seconds over its seeds.
if [ $# -eq 0 ]; then "$root/scripts/fuzz.sh" 5 || status=1; fi
exit $status
