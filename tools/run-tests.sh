#!/usr/bin/env bash
# Sets up, builds and runs every test. Under CI (CI=true) the build treats
# warnings as errors and carries AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
extra=()
if [ "${CI:-}" = "true" ]; then
  extra+=(-DKVX_WERROR=ON -DKVX_SANITIZE=ON)
  # Leaks of the platform's font and display libraries are not ours to fix.
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
"$root/tools/build.sh" "${extra[@]}"
cd "${KVX_BUILD_DIR:-$root/build}"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 300
