#!/usr/bin/env bash
# Block reads against the simulator paced to 19200 baud.
# usage: bench/link.sh [COUNT]   (default 50 reads of both blocks, about 4.5 minutes)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exec "${KVX_BUILD_DIR:-$root/build}/bin/korvanext-benchlink" link "${1:-50}"
