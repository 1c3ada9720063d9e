#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for SECONDS (default 30).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
build=${KVX_FUZZ_BUILD_DIR:-$root/build-fuzz}
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVX_FUZZ=ON -DKVX_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_configfile fuzz_ini fuzz_image fuzz_replies >/dev/null
for t in configfile ini image replies; do
  work=$(mktemp -d)
  cp "$root/fuzz/corpus/$t/"* "$work/"
  echo "fuzz_$t: ${seconds} s"
  (cd "$build" && "$build/bin/fuzz_$t" -max_total_time="$seconds" -print_final_stats=0 -close_fd_mask=3 "$work" 2>&1 | tail -2)
  rm -rf "$work"
done
