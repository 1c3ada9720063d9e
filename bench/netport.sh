#!/usr/bin/env bash
# Gateways behind a terminal server: read and write through ser2net's raw TCP
# and RFC 2217 ports against the direct pseudo-terminal in the same run (goal
# <= 1.02 each), and a backup of 8 gateways through ser2net against one (goal
# <= 1.15). The simulators are paced to 19200 baud. About four minutes.
# usage: bench/netport.sh [GATEWAYS]   (default 8)
set -euo pipefail
source "$(dirname "$0")/common.sh"
ser2net=$(command -v ser2net || echo /usr/sbin/ser2net)
[ -x "$ser2net" ] || { echo "ser2net is not installed (tools/setup.sh installs it)" >&2; exit 1; }
bench_scratch
python3 - "$bin" "$work" "$ser2net" "${1:-8}" <<'PY'
import contextlib, os, socket, subprocess, sys, time
from simulators import isolated_env, paced_gateways, stop
bin, work, ser2net, count = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
cli = bin + "/korvanext-cli"
env = isolated_env(work)

def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]

def listening(port):
    # From the kernel's list: a probe connection would make ser2net open the device.
    with open("/proc/net/tcp") as f:
        return any(c[3] == "0A" and int(c[1].split(":")[1], 16) == port for c in (l.split() for l in list(f)[1:]))

with paced_gateways(bin, count, "NET") as devices, contextlib.ExitStack() as cleanup:
    yaml, raw, rfc = ["%YAML 1.1", "---"], [], []
    for i, d in enumerate(devices):
        r, t = free_port(), free_port()
        for name, accepter in (("raw%d" % i, "tcp,127.0.0.1,%d" % r), ("tel%d" % i, "telnet(rfc2217),tcp,127.0.0.1,%d" % t)):
            yaml += ["connection: &" + name, "  accepter: " + accepter, "  connector: serialdev,%s,19200n81,local" % d]
        raw.append("socket://127.0.0.1:%d" % r)
        rfc.append("rfc2217://127.0.0.1:%d" % t)
    with open(os.path.join(work, "ser2net.yaml"), "w") as f:
        f.write("\n".join(yaml) + "\n")
    server = subprocess.Popen([ser2net, "-n", "-u", "-c", os.path.join(work, "ser2net.yaml"), "-P", os.path.join(work, "pid")],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    cleanup.callback(stop, server)
    ports = [int(u.rsplit(":", 1)[1]) for u in raw + rfc]
    for _ in range(500):
        if all(listening(p) for p in ports):
            break
        time.sleep(0.01)
    else:
        sys.exit("ser2net did not open its ports within 5 s: run %s -d -c %s to see why" % (ser2net, os.path.join(work, "ser2net.yaml")))

    def run(args):
        t = time.monotonic()
        subprocess.run([cli] + args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
        return time.monotonic() - t

    config = os.path.join(work, "gw.kvx")
    run(["read", config, "--port", devices[0]])
    # Interleaved, best of two: the three ways see the same load of the machine.
    best = {}
    for _ in range(2):
        for way, port in (("direct", devices[0]), ("raw", raw[0]), ("rfc2217", rfc[0])):
            for op in ("read", "write"):
                args = ["read", os.path.join(work, "r.kvx")] if op == "read" else ["write", config, "--yes", "--no-backup"]
                d = run(args + ["--port", port])
                best[(way, op)] = min(best.get((way, op), d), d)
    for op in ("read", "write"):
        print("%s_direct %.2f s" % (op, best[("direct", op)]))
        for way in ("raw", "rfc2217"):
            print("%s_%s_ratio %.3f ratio" % (op, way, best[(way, op)] / best[("direct", op)]))

    def backup(urls, folder):
        args = ["backup", os.path.join(work, folder)]
        for u in urls:
            args += ["--port", u]
        return run(args)
    one = min(backup(rfc[:1], "one") for _ in range(2))
    many = min(backup(rfc, "many") for _ in range(2))
    print("backup_one_via_ser2net %.2f s" % one)
    print("backup_%d_via_ser2net %.2f s" % (count, many))
    print("fleet_via_ser2net_wall_ratio %.3f ratio" % (many / one))
PY
