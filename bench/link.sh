#!/usr/bin/env bash
# Block reads against the simulator paced to 19200 baud.
# usage: bench/link.sh [COUNT]   (default 50 reads of both blocks, about 4.5 minutes)
set -euo pipefail
source "$(dirname "$0")/common.sh"
exec "$bin/korvanext-benchlink" link "${1:-50}"
