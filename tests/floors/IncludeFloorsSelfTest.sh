#!/usr/bin/env bash
# The floor check on a tree made for it: it must fail and name every upward include, and only those.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

output=$("$here/IncludeFloors.sh" "$here/upward")
status=$?
echo "$output"
if [[ $status == 0 ]]; then
    echo "FAILED: the check passed a tree with upward includes"
    exit 1
fi
found=$(grep -oE '^[^:]+:[0-9]+' <<<"$output" | sort)
expected=$(printf '%s\n' app/kit/Upward.cpp:4 app/kit/Upward.cpp:5 audio/plugins/Nested.cpp:3 \
                         devices/Upward.h:4 | sort)
if [[ $found != "$expected" ]]; then
    echo "FAILED: expected the upward includes"
    echo "$expected"
    exit 1
fi
