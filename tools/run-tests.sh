#!/usr/bin/env bash
# Sets up, builds and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
extra=()
[ "${CI:-}" = "true" ] && extra+=(-DKVX_WERROR=ON)
"$root/tools/build.sh" "${extra[@]}"
cd "${KVX_BUILD_DIR:-$root/build}"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 120
