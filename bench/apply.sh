#!/usr/bin/env bash
# apply against a gateway paced to 19200 baud, checked against its goals:
#  - a no-change apply of a state of block-1 settings: wall time against the line
#    time of identification plus block 1 (goal <= 1.1); the line time is the bytes
#    of 'identify' and of the block-1 read ("e" and 2049 bytes), 10 bits a byte;
#  - a one-setting block-1 change with its kept copy: wall time against
#    'write --only KEY' of that one key measured in the same run (goal <= 0.5);
#  - the bytes each sends and receives, as the simulator counts them.
# A full 'read' (what a no-change run cost before apply) is shown beside.
# Exits 1 when a goal fails. About a minute.
set -euo pipefail
source "$(dirname "$0")/common.sh"
bench_scratch
python3 - "$bin" "$work" <<'PY'
import json, os, subprocess, sys, time
from simulators import isolated_env, line_bytes, paced_gateways
bin, work = sys.argv[1], sys.argv[2]
cli = bin + "/korvanext-cli"
env = isolated_env(work)
baud = 19200
key = "FXSVolRec"
state = {key: 4, "FXOVolSend": 2, "FXSTimeDial": 8, "FXODTMFLength": 200}

# The state must stay within block 1, or the goal's reference is the wrong one.
schema = json.loads(subprocess.run([cli, "schema", "--json"], check=True, env=env, stdout=subprocess.PIPE).stdout)
blocks = dict((s["key"], s.get("block")) for s in schema["settings"])
outside = [k for k in state if blocks.get(k) != 1]
if outside:
    sys.exit("%s: not settings of block 1 (schema), the bench's state must change" % ", ".join(outside))

def state_file(name, values):
    path = os.path.join(work, name)
    with open(path, "w") as f:
        f.write("".join("%s: %s\n" % kv for kv in values.items()))
    return path

def kvx_file(name, value):
    path = os.path.join(work, name)
    subprocess.run([cli, "defaults", path], check=True, env=env)
    subprocess.run([cli, "set", path, "%s=%d" % (key, value)], check=True, env=env, stderr=subprocess.DEVNULL)
    return path

with paced_gateways(bin) as (port,):
    def run(args):
        """Wall time and bytes (sent by the tool, received by it) of one run."""
        in0, out0 = line_bytes(port)
        t = time.monotonic()
        subprocess.run([cli] + args + ["--port", port], check=True, env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wall = time.monotonic() - t
        in1, out1 = line_bytes(port)
        return wall, in1 - in0, out1 - out0

    def best(runs):
        return min(runs, key=lambda r: r[0])

    # The gateway holds the state; from now on applying it changes nothing.
    steady = state_file("steady.yml", state)
    run(["apply", steady])
    identify = best(run(["identify"]) for _ in range(3))
    unchanged = best(run(["apply", steady]) for _ in range(3))
    full_read = run(["read", os.path.join(work, "read.kvx")])

    # One key back and forth, in turns (the write sets 5, the apply 4 again): both
    # change one setting and see the same load of the machine.
    other = kvx_file("other.kvx", 5)
    writes, applies = [], []
    for _ in range(2):
        writes.append(run(["write", other, "--only", key, "--yes"]))
        applies.append(run(["apply", steady]))
    write_only, change = best(writes), best(applies)
    copies = subprocess.run([cli, "backups", "--json"], check=True, env=env, stdout=subprocess.PIPE).stdout
    kept = len(json.loads(copies)["copies"])

def started():
    t = time.monotonic()
    subprocess.run([cli, "--version"], check=True, env=env, stdout=subprocess.DEVNULL)
    return time.monotonic() - t
start = min(started() for _ in range(3))

# Identification as 'identify' makes it, and the block-1 read: "e", then 2048 bytes and their sum.
reference = (identify[1] + identify[2] + 1 + 2049) * 10.0 / baud
failed = False

def figures(name, r):
    print("%s_wall %.2f s" % (name, r[0]))
    print("%s_bytes_sent %d bytes" % (name, r[1]))
    print("%s_bytes_received %d bytes" % (name, r[2]))
    print("%s_line %.2f s" % (name, (r[1] + r[2]) * 10.0 / baud))

def goal(name, ratio, limit, what):
    global failed
    ok = ratio <= limit
    failed |= not ok
    print("%s %.3f ratio (goal <= %s, %s) %s" % (name, ratio, limit, what, "PASS" if ok else "FAIL"))

print("identify_and_block1_line %.2f s" % reference)
# What every run costs beside the line: the tool's start, and identify's time off the line
# (start, opening the port, leaving configuration mode and closing it).
print("tool_start %.3f s" % start)
print("identify_beside_line %.3f s" % (identify[0] - (identify[1] + identify[2]) * 10.0 / baud))
figures("read_full", full_read)
figures("apply_unchanged", unchanged)
goal("apply_unchanged_to_line_ratio", unchanged[0] / reference, 1.1, "against identification and block 1")
figures("write_only_one_key", write_only)
figures("apply_one_key", change)
goal("apply_one_key_to_write_only_ratio", change[0] / write_only[0], 0.5, "kept copy included, both")
print("apply_one_key_bytes_to_write_only %.3f ratio" % ((change[1] + change[2]) / float(write_only[1] + write_only[2])))
# Every change kept its copy: 2 writes and 3 applies (the first brought the state).
if kept != 5:
    print("kept_copies %d, expected 5: a run kept no copy, the comparison is unfair" % kept)
    failed = True
print("load_average %.1f (%d CPUs)" % (os.getloadavg()[0], os.cpu_count()))
sys.exit(1 if failed else 0)
PY
