#!/usr/bin/env bash
# Every figure of the tool against the simulator paced to 19200 baud, one line
# each: name value unit. Takes about six minutes (bench/run.sh --link 50
# adds the long block-read run).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${KVX_BUILD_DIR:-$root/build}/bin
count=2
[ "${1:-}" = "--link" ] && count=${2:-50}
"$bin/korvanext-benchlink" link "$count" | grep -v peak_rss
"$bin/korvanext-benchlink" read | grep -v peak_rss
"$bin/korvanext-benchlink" write | grep -v peak_rss
"$bin/korvanext-benchlink" upgrade
# Eight gateways backed up at once against one.
KVX_BUILD_DIR=${KVX_BUILD_DIR:-$root/build} "$root/bench/fleet.sh"
# Read, write and a fleet through ser2net (raw TCP and RFC 2217) against the direct line.
KVX_BUILD_DIR=${KVX_BUILD_DIR:-$root/build} "$root/bench/netport.sh"
# Interrupts at random points of writes: how long until each write has ended.
KVX_BUILD_DIR=${KVX_BUILD_DIR:-$root/build} "$root/bench/cancel.sh" 6
# Cold start to the first shown window, and the window's memory, offscreen.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
python3 - "$bin/korvanext" "$home" <<'PY'
import os, resource, subprocess, sys, time
exe, home = sys.argv[1], sys.argv[2]
env = dict(os.environ, HOME=home, QT_QPA_PLATFORM="offscreen")
best = None
for _ in range(3):
    t = time.monotonic()
    subprocess.run([exe, "--quit-after", "0"], env=env, check=True, stderr=subprocess.DEVNULL)
    d = time.monotonic() - t
    best = d if best is None else min(best, d)
print("start_to_window %.3f s" % best)
print("window_peak_rss %.1f MB" % (resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024.0))
PY
