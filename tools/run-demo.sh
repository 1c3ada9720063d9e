#!/usr/bin/env bash
# Sets up, builds and starts the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
"$root/tools/build.sh"
exec "${KVX_BUILD_DIR:-$root/build}/bin/korvanext" --demo "$@"
