#!/usr/bin/env bash
# Runs a command inside a private network namespace that has only loopback, with the
# multicast route on lo, so that no datagram can leave the machine.
set -euo pipefail
exec unshare -rn sh -c 'ip link set lo up && ip route add 224.0.0.0/4 dev lo src 127.0.0.1 && exec "$@"' netns "$@"
