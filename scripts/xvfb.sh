#!/usr/bin/env bash
# Runs a command on a private X server (Xvfb) for a machine without a desktop. The server runs in
# a session of its own, so that Ctrl-C in the terminal reaches the command alone, which then stops
# in order, and not the server under its window; the server ends after the command.
set -euo pipefail
number=$(mktemp)
setsid Xvfb -displayfd 3 -screen 0 1600x900x24 -nolisten tcp 3>"$number" >/dev/null 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null || true; rm -f "$number"' EXIT
for _ in $(seq 100); do
  if grep -q . "$number" 2>/dev/null; then break; fi
  sleep 0.1
done
grep -q . "$number" || { echo "The X server did not start." >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$number")"
status=0
"$@" || status=$?
exit $status
