#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
#   scripts/run.sh [options]         in a private network namespace with loopback only: for trying
#                                    it out, and the only way it runs on a development or CI machine
#   scripts/run.sh --lan [options]   on the host's network, to reach the loudspeakers and consoles
#                                    of the user's own site; never on a development or CI machine
# The options go to the program (--quit asks a running copy to stop, without the setup and the
# build). Without a desktop (no DISPLAY) the program gets a private X server.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lan=false
if [ "${1:-}" = "--lan" ]; then
  lan=true
  shift
fi
run=("$root/build/app/melvox" "$@")
# Asking a running copy to stop needs neither the packages, nor a build, nor a display.
quit=false
for option in "$@"; do if [ "$option" = "--quit" ]; then quit=true; fi; done
if $quit; then
  if [ ! -x "${run[0]}" ]; then
    echo "The program is not built: no copy of it runs." >&2
    exit 1
  fi
  if $lan; then exec "${run[@]}"; fi
  exec "$root/scripts/netns.sh" "${run[@]}"
fi
"$root/scripts/setup.sh"
"$root/scripts/build.sh" build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMELVOX_TESTS=OFF -DMELVOX_BENCH=OFF
if [ -z "${DISPLAY:-}" ]; then run=("$root/scripts/xvfb.sh" "${run[@]}"); fi
if $lan; then exec "${run[@]}"; fi
exec "$root/scripts/netns.sh" "${run[@]}"
