#!/usr/bin/env bash
# Configures and builds one build folder: scripts/build.sh <folder> [cmake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
cmake -S "$root" -B "$root/$dir" "$@" >/dev/null
cmake --build "$root/$dir" -j "$(nproc)"
