#!/usr/bin/env bash
# A parallel backup of 8 simulated gateways paced at 19200 baud against the
# backup of one: the wall-time ratio (goal <= 1.15) and the share of one CPU
# the command line used. About half a minute.
# usage: bench/fleet.sh [GATEWAYS]   (default 8)
set -euo pipefail
source "$(dirname "$0")/common.sh"
bench_scratch
python3 - "$bin" "$work" "${1:-8}" <<'PY'
import os, resource, subprocess, sys, time
from simulators import isolated_env, paced_gateways
bin, work, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
env = isolated_env(work)

def backup(ports, folder):
    args = [bin + "/korvanext-cli", "backup", os.path.join(work, folder)]
    for p in ports:
        args += ["--port", p]
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t = time.monotonic()
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, env=env)
    wall = time.monotonic() - t
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu

with paced_gateways(bin, count, "BENCH") as ports:
    one = min(backup(ports[:1], "one") for _ in range(2))
    many = min(backup(ports, "many") for _ in range(2))
    print("backup_one_gateway %.2f s" % one[0])
    print("backup_%d_gateways %.2f s" % (count, many[0]))
    print("fleet_wall_ratio %.3f" % (many[0] / one[0]))
    print("cpu_share_one %.1f %% of one CPU" % (100 * one[1] / one[0]))
    print("cpu_share_%d %.1f %% of one CPU" % (count, 100 * many[1] / many[0]))
PY
