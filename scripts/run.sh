#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it (on loopback only).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMELVOX_TESTS=OFF -DMELVOX_BENCH=OFF
run=("$root/build/app/melvox" "$@")
if [ -z "${DISPLAY:-}" ]; then run=(xvfb-run -a "${run[@]}"); fi
exec "$root/scripts/netns.sh" "${run[@]}"
