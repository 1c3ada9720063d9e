#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for SECONDS (default 60).
#
#   KVX_FUZZ_BUILD_DIR  build folder (default build-fuzz); the corpus grows in
#                       its corpus/ between runs, findings land in findings/
#   KVX_FUZZ_TARGETS    the targets to run (default: all)
#   KVX_FUZZ_PARALLEL   how many targets run at once (default 1)
#
# Prints one line per target (executions, executions per second, coverage) and
# fails when a target finds a fault; its log and the input that shows it stay
# in the build folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${KVX_FUZZ_BUILD_DIR:-$root/build-fuzz}
# The targets fuzz/CMakeLists.txt builds.
all=$(sed -n 's/^set(KVX_FUZZ_TARGETS \(.*\))$/\1/p' "$root/fuzz/CMakeLists.txt")
[ -n "$all" ] || { echo "no fuzz targets found in fuzz/CMakeLists.txt" >&2; exit 1; }
targets=${KVX_FUZZ_TARGETS:-$all}
parallel=${KVX_FUZZ_PARALLEL:-1}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVX_FUZZ=ON -DKVX_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target $(for t in $targets; do echo "fuzz_$t"; done) >/dev/null
mkdir -p "$build/logs" "$build/findings"

options() {
  case $1 in
    configfile) echo "-max_len=65536" ;;  # the seeds are whole configuration files
    image) echo "-max_len=12288" ;;
    # What a peer sends never makes the link allocate more than 64 MB at once.
    gateway | upgrade) echo "-max_len=1024 -malloc_limit_mb=64" ;;
    terminal) echo "-max_len=1024 -malloc_limit_mb=64" ;;
    modem | telnet) echo "-malloc_limit_mb=64" ;;
    *) echo "" ;;
  esac
}

run() {
  local t=$1 corpus="$build/corpus/$1"
  mkdir -p "$corpus"
  cp -n "$root/fuzz/corpus/$t/"* "$corpus/" 2>/dev/null || true
  # -timeout: an input that runs this long is a wait without a bound (the
  # gateway's targets find those in virtual time, see fuzz/scriptgateway.h).
  # -reload=0: this process alone fills the corpus folder.
  # A small quarantine: freed memory comes back warm instead of as fresh pages,
  # which the operations' targets would otherwise spend a third of their time on.
  (cd "$build" && ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16} "$build/bin/fuzz_$t" -max_total_time="$seconds" -reload=0 -timeout=30 -print_final_stats=1 -close_fd_mask=1 \
      -artifact_prefix="$build/findings/$t-" $(options "$t") "$corpus" >"$build/logs/$t.log" 2>&1)
}

summary() {
  local t=$1 log="$build/logs/$1.log" status=$2
  local runs rate done
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  done=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 | sed -E 's/.*(cov: [0-9]+ ft: [0-9]+ corp: [0-9]+).*/\1/' || true)
  if [ "$status" -eq 0 ]; then
    printf 'fuzz_%-11s %4s s  %9s runs  %6s exec/s  %s\n' "$t" "$seconds" "${runs:-?}" "${rate:-?}" "${done:-?}"
  else
    printf 'fuzz_%-11s FAILED (log: %s)\n' "$t" "$log"
    grep -E '^finding:|^reports|ERROR:|SUMMARY:|Test unit written' "$log" | head -8 | sed 's/^/    /' || true
  fi
}

failed=0
pending=()
for t in $targets; do
  run "$t" &
  pending+=("$t:$!")
  if [ "${#pending[@]}" -ge "$parallel" ]; then
    entry=${pending[0]}
    pending=("${pending[@]:1}")
    status=0
    wait "${entry#*:}" || status=$?
    summary "${entry%%:*}" "$status"
    [ "$status" -eq 0 ] || failed=1
  fi
done
for entry in "${pending[@]}"; do
  status=0
  wait "${entry#*:}" || status=$?
  summary "${entry%%:*}" "$status"
  [ "$status" -eq 0 ] || failed=1
done
exit "$failed"
