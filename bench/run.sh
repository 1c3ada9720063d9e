#!/usr/bin/env bash
# Every figure of the tool against the simulator paced to 19200 baud, one line
# each: name value unit. Takes about seven minutes (bench/run.sh --link 50
# adds the long block-read run). Exits 1 when a goal that apply.sh checks fails.
# bench/fleet-ansible.sh (Ansible, about half a minute) runs on its own.
set -euo pipefail
source "$(dirname "$0")/common.sh"
bench_scratch
count=2
[ "${1:-}" = "--link" ] && count=${2:-50}
"$bin/korvanext-benchlink" link "$count" | grep -v peak_rss
"$bin/korvanext-benchlink" read | grep -v peak_rss
"$bin/korvanext-benchlink" write | grep -v peak_rss
"$bin/korvanext-benchlink" upgrade
# Eight gateways backed up at once against one.
"$root/bench/fleet.sh"
# Read, write and a fleet through ser2net (raw TCP and RFC 2217) against the direct line.
"$root/bench/netport.sh"
# Interrupts at random points of writes: how long until each write has ended.
"$root/bench/cancel.sh" 6
# apply unchanged and with one setting changed, against its goals; the rest still runs when one fails.
goals=0
"$root/bench/apply.sh" || goals=1
# Cold start to the first shown window, and the window's memory, offscreen.
python3 - "$bin/korvanext" "$work" <<'PY'
import os, resource, subprocess, sys, time
from simulators import isolated_env
exe, work = sys.argv[1], sys.argv[2]
env = dict(isolated_env(work), QT_QPA_PLATFORM="offscreen")
best = None
for _ in range(3):
    t = time.monotonic()
    subprocess.run([exe, "--quit-after", "0"], env=env, check=True, stderr=subprocess.DEVNULL)
    d = time.monotonic() - t
    best = d if best is None else min(best, d)
print("start_to_window %.3f s" % best)
print("window_peak_rss %.1f MB" % (resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024.0))
PY
exit $goals
