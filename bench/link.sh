#!/usr/bin/env bash
# Block reads against the simulator paced to 19200 baud.
# usage: bench/link.sh [COUNT]   (default 50 reads of both blocks, about 4.5 minutes)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${KVX_BUILD_DIR:-$root/build}/bin
count=${1:-50}
sim_out=$(mktemp)
"$bin/korvanext-gatewaysim" --baud-throttle 19200 >"$sim_out" &
sim=$!
trap 'kill $sim 2>/dev/null; rm -f "$sim_out"' EXIT
for _ in $(seq 50); do [ -s "$sim_out" ] && break; sleep 0.1; done
"$bin/korvanext-benchlink" "$(head -1 "$sim_out")" 19200 "$count"
