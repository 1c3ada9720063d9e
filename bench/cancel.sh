#!/usr/bin/env bash
# Time from an interrupt (the command line's Cancel) to the end of a write, at
# random points of writes to a gateway paced to 19200 baud: worst and median,
# and the worst against its goal, the longest block in flight (block 2, 8193
# bytes) plus 0.3 s (goal: ratio <= 1). About a minute with the default 12 runs.
# usage: bench/cancel.sh [RUNS]
set -euo pipefail
source "$(dirname "$0")/common.sh"
bench_scratch
python3 - "$bin" "$work" "${1:-12}" <<'PY'
import os, random, signal, statistics, subprocess, sys, time
from simulators import isolated_env, paced_gateways
bin, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
env = isolated_env(work)
cli = bin + "/korvanext-cli"
conf = os.path.join(work, "new.kvx")
subprocess.run([cli, "defaults", conf], check=True, env=env)
subprocess.run([cli, "set", conf, "FXSVolRec=5", "GSMNum:8=+420777000111"], check=True, env=env, stderr=subprocess.DEVNULL)
with paced_gateways(bin) as (port,):
    args = [cli, "write", conf, "--port", port, "--no-backup", "--wait", "10"]
    t = time.monotonic()
    subprocess.run(args, check=True, env=env, stderr=subprocess.DEVNULL)
    whole = time.monotonic() - t
    random.seed(24)
    latencies = []
    for i in range(runs):
        p = subprocess.Popen(args, env=env, stderr=subprocess.DEVNULL)
        # One random point in each of `runs` equal stretches of the write.
        at = random.uniform(max(0.2, i * whole / runs), min(whole - 0.2, (i + 1) * whole / runs))
        time.sleep(at)
        t = time.monotonic()
        p.send_signal(signal.SIGINT)
        p.wait()
        latencies.append(time.monotonic() - t)
        if os.environ.get("KVX_BENCH_VERBOSE"): print("run rc %s at %.2f s latency %.2f" % (p.returncode, at, latencies[-1]))
        # The gateway must answer again before the next run.
        subprocess.run([cli, "identify", "--port", port, "--wait", "10"], check=True, env=env, stdout=subprocess.DEVNULL)
    goal = 8193 * 10 / 19200 + 0.3
    print("write_whole %.2f s" % whole)
    print("cancel_to_end_worst %.2f s" % max(latencies))
    print("cancel_to_end_median %.2f s" % statistics.median(latencies))
    print("cancel_worst_to_goal_ratio %.3f" % (max(latencies) / goal))
PY
