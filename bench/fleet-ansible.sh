#!/usr/bin/env bash
# The fleet playbook of the collection (docs/fleet/site.yml) with forks=8 against 8
# simulated gateways paced to 19200 baud, one per host, when nothing is to change:
#  - the playbook's wall time against the line time of one no-change apply (the
#    gateways run in parallel, so that is the line-bound part of the whole run);
#  - Ansible's own share, four ways: the same play with a module that does nothing
#    (ping, a module process per host), the same play with a task that does nothing
#    in Ansible's worker (set_fact: the collection's tasks run there on a local
#    connection), the playbook itself with an action that does nothing in its place
#    (the same arguments templated for every host, the same plugin loading), and the
#    playbook's time minus the slowest host's korvanext-cli time (each call timed by
#    a wrapper);
#  - the line-bound part, the playbook less itself with the do-nothing action, against
#    the line time of one apply (goal <= 1.3).
# Debian's /usr/bin/ansible-playbook runs with the collection of this tree. The state
# is block 1 only: the baseline and each gateway's own number. Exits 1 when the goal
# fails or a run changes or fails anything. About half a minute.
set -euo pipefail
source "$(dirname "$0")/common.sh"
playbook=/usr/bin/ansible-playbook
[ -x "$playbook" ] || { echo "$playbook is missing: tools/setup.sh installs ansible-core" >&2; exit 1; }
bench_scratch
python3 - "$bin" "$work" "$root" "$playbook" <<'PY'
import os, resource, shlex, shutil, subprocess, sys, time
import yaml
from simulators import isolated_env, line_bytes, paced_gateways
bin, work, root, playbook = sys.argv[1:5]
collection = os.path.join(root, "ansible_collections/korvanext/gateway")
integration = os.path.join(collection, "tests/integration")
fleet = os.path.join(collection, "docs/fleet")
cli = bin + "/korvanext-cli"
baud, hosts = 19200, ["gw%d" % n for n in range(1, 9)]
env = isolated_env(work)

# Each call of the tool is timed (start and end, then its arguments) by a wrapper first on the PATH.
calls = os.path.join(work, "calls.log")
os.mkdir(os.path.join(work, "bin"))
with open(os.path.join(work, "bin/korvanext-cli"), "w") as f:
    f.write('#!/bin/sh\ns=$(date +%%s.%%N)\n%s "$@"\nrc=$?\nprintf "%%s %%s %%s\\n" "$s" "$(date +%%s.%%N)" "$*" >>%s\nexit $rc\n'
            % (shlex.quote(cli), shlex.quote(calls)))
os.chmod(os.path.join(work, "bin/korvanext-cli"), 0o755)
env.update(PATH=os.path.join(work, "bin") + ":" + env["PATH"],
           ANSIBLE_COLLECTIONS_PATH=root, ANSIBLE_CONFIG=os.path.join(work, "ansible.cfg"),
           ANSIBLE_LOCAL_TEMP=os.path.join(work, "ansible-tmp"), ANSIBLE_REMOTE_TEMP=os.path.join(work, "ansible-tmp"),
           ANSIBLE_FORKS="8", ANSIBLE_NOCOLOR="1", ANSIBLE_RETRY_FILES_ENABLED="0",
           # The integration test's recorder and checker say what each host did.
           ANSIBLE_CALLBACK_PLUGINS=os.path.join(integration, "callback_plugins"),
           ANSIBLE_CALLBACKS_ENABLED="record_results", KVX_RESULTS=os.path.join(work, "results.json"))
with open(env["ANSIBLE_CONFIG"], "w") as f:
    f.write("[defaults]\n")

inventory = os.path.join(work, "inventory")
os.makedirs(os.path.join(inventory, "group_vars/gateways"))
os.makedirs(os.path.join(inventory, "host_vars"))
shutil.copy(os.path.join(fleet, "inventory/group_vars/gateways/main.yml"), os.path.join(inventory, "group_vars/gateways"))
with open(os.path.join(inventory, "hosts.yml"), "w") as f:
    f.write("gateways:\n  hosts:\n" + "".join("    %s:\n" % h for h in hosts))
noop = os.path.join(work, "noop.yml")
with open(noop, "w") as f:
    f.write("- hosts: gateways\n  gather_facts: false\n  tasks:\n    - ansible.builtin.ping:\n")
noop_worker = os.path.join(work, "noop-worker.yml")
with open(noop_worker, "w") as f:
    f.write("- hosts: gateways\n  gather_facts: false\n  tasks:\n    - ansible.builtin.set_fact:\n        kvx_nothing: true\n")

# The playbook with its task's module replaced by an action beside it that returns at
# once: what Ansible spends on this very task (templating its arguments for every host,
# loading the action, a worker per host) without the tool. The action loads the
# collection's worker support, as the collection's own actions do.
os.mkdir(os.path.join(work, "action_plugins"))
with open(os.path.join(work, "action_plugins/kvx_nothing.py"), "w") as f:
    f.write("from ansible.plugins.action import ActionBase\n"
            "from ansible_collections.korvanext.gateway.plugins.plugin_utils import in_worker  # noqa: F401\n\n\n"
            "class ActionModule(ActionBase):\n"
            "    def run(self, tmp=None, task_vars=None):\n"
            "        return dict(changed=False)\n")
with open(os.path.join(fleet, "site.yml")) as f:
    plays = yaml.safe_load(f)
for each in plays:
    for task in each["tasks"]:
        task["kvx_nothing"] = task.pop("korvanext.gateway.gateway_config")
same_task_noop = os.path.join(work, "same-task-noop.yml")
with open(same_task_noop, "w") as f:
    yaml.safe_dump(plays, f, sort_keys=False)


def play(book, *checks):
    """The wall and CPU time of one run (Ansible's, its modules' and the tool's); `checks`
    go to the integration test's check.py."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    began = time.time()  # the wrapper's clock
    t = time.monotonic()
    p = subprocess.run([playbook, "-f", "8", "-i", os.path.join(inventory, "hosts.yml"), book], env=env,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    wall = time.monotonic() - t
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime
    checked = not checks or subprocess.run(["/usr/bin/python3", os.path.join(integration, "check.py"),
                                            env["KVX_RESULTS"]] + list(checks)).returncode == 0
    if p.returncode or not checked:
        sys.exit("%s failed (exit %d):\n%s" % (book, p.returncode, p.stdout[-4000:]))
    return wall, cpu, began

def timeline(wall, cpu, began):
    """The last run with its calls of the tool: (wall, cpu, the slowest host's time in
    korvanext-cli, the slowest apply, when the first call began, when the last apply
    began, and how long the run went on after the last call ended)."""
    with open(calls) as f:
        recorded = [(float(s) - began, float(e) - began, args.split()) for s, e, args in (l.split(" ", 2) for l in f)]
    os.remove(calls)
    applies = [(s, e) for s, e, words in recorded if words[0] == "apply"]
    if len(applies) != len(hosts):
        sys.exit("%d apply calls recorded for %d hosts" % (len(applies), len(hosts)))
    # schema names no port: the slowest one is counted with the slowest apply (none
    # once the collection has it cached).
    schema = max([e - s for s, e, words in recorded if words[0] == "schema"] or [0])
    apply = max(e - s for s, e in applies)
    return (wall, cpu, apply + schema, apply, min(s for s, _, _ in recorded), max(s for s, _ in applies),
            wall - max(e for _, e, _ in recorded))

with paced_gateways(bin, len(hosts), "FLEET") as ports:
    for n, (host, port) in enumerate(zip(hosts, ports), 1):
        with open(os.path.join(inventory, "host_vars", host + ".yml"), "w") as f:
            f.write('gateway_port: %s\ngateway_wait: 5\ngateway_settings:\n  FXSNumAutDial: "01234567%02d"\n' % (port, n))
    all_hosts = " ".join(hosts)
    play(os.path.join(fleet, "site.yml"), "changed", all_hosts, "")
    os.remove(calls)
    # The reference: one no-change apply of gw1's state by hand.
    state = os.path.join(work, "gw1.yml")
    with open(state, "w") as f:
        f.write("FXSVolRec: 4\nFXOVolSend: 2\nFXSTimeDial: 8\nFXODTMFLength: 200\nFXSNumAutDial: \"0123456701\"\n")
    in0, out0 = line_bytes(ports[0])
    t = time.monotonic()
    if subprocess.run([cli, "apply", state, "--port", ports[0]], env=env, stdout=subprocess.PIPE, text=True).stdout != "unchanged\n":
        sys.exit("gw1 does not hold its state after the first run")
    alone = time.monotonic() - t
    in1, out1 = line_bytes(ports[0])
    line = (in1 - in0 + out1 - out0) * 10.0 / baud
    # Interleaved, best of three: all four plays see the same load of the machine.
    runs, noops, worker_noops, same_task_noops = [], [], [], []
    for _ in range(3):
        runs.append(timeline(*play(os.path.join(fleet, "site.yml"), "changed", "", all_hosts)))
        noops.append(play(noop))
        worker_noops.append(play(noop_worker))
        same_task_noops.append(play(same_task_noop))
    wall, cpu, tool, apply, first, last, tail = min(runs)
    overhead, noop_cpu, _ = min(noops)
    worker_overhead, worker_noop_cpu, _ = min(worker_noops)
    same_task_overhead, same_task_noop_cpu, _ = min(same_task_noops)

print("apply_one_line %.2f s" % line)
print("apply_one_wall %.2f s" % alone)
print("playbook_8_wall %.2f s" % wall)
print("playbook_8_to_line_ratio %.3f ratio" % (wall / line))
# Where the playbook's time goes: before the first call of the tool, until the last
# host's apply began, and after the last call ended.
print("play_first_tool_call_at %.2f s" % first)
print("play_last_apply_began_at %.2f s" % last)
print("play_after_last_tool_call %.2f s" % tail)
print("slowest_apply_in_play %.2f s" % apply)
print("slowest_apply_to_line_ratio %.3f ratio" % (apply / line))
print("ansible_overhead_noop_play %.2f s (ping: a module process per host)" % overhead)
print("ansible_overhead_noop_play_in_worker %.2f s (set_fact: in Ansible's worker, as the collection's tasks on a local connection)"
      % worker_overhead)
print("ansible_overhead_same_task_noop %.2f s (the playbook with an action that does nothing: its arguments templated, a worker per host)"
      % same_task_overhead)
# CPU time does not stretch with the machine's load; on N idle CPUs it bounds the wall time from below.
print("playbook_8_cpu %.2f s" % cpu)
print("noop_play_8_cpu %.2f s" % noop_cpu)
print("noop_play_in_worker_8_cpu %.2f s" % worker_noop_cpu)
print("same_task_noop_8_cpu %.2f s" % same_task_noop_cpu)
print("ansible_overhead_beyond_tool %.2f s (playbook less the slowest host's korvanext-cli time, schema included)"
      % (wall - tool))
# Templating the task's arguments is Ansible's work for any module, so the line-bound
# part is the playbook less itself with the do-nothing action; less the bare set_fact
# play it also counts that templating.
print("playbook_less_set_fact_play_ratio %.3f ratio (against one apply's line time)" % ((wall - worker_overhead) / line))
ratio = (wall - same_task_overhead) / line
print("line_bound_part_ratio %.3f ratio (goal <= 1.3, playbook less itself with an action that does nothing, against one apply's line time) %s"
      % (ratio, "PASS" if ratio <= 1.3 else "FAIL"))
# Ansible's share is CPU time: other work on the machine stretches it.
print("load_average %.1f (%d CPUs)" % (os.getloadavg()[0], os.cpu_count()))
sys.exit(0 if ratio <= 1.3 else 1)
PY
