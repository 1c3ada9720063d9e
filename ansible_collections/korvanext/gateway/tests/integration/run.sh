#!/usr/bin/env bash
# The fleet playbook of docs/fleet against 8 simulated gateways behind a real ser2net
# on loopback (4 raw TCP, 4 RFC 2217): check-and-diff writes nothing, the first run
# changes all 8, the second none (in Ansible's worker, and as module processes when
# the task has an environment of its own), a change made at one gateway is repaired
# there alone, two hosts that name one port take turns on it, a bad value fails before
# any connection, an unreachable gateway fails alone, and the PIN never shows, even
# with -vvv.
# usage: run.sh [BIN_DIR]   (the folder of korvanext-cli and korvanext-gatewaysim;
#                            default build/bin of this repository, else the PATH)
# Exit 77 (skipped) when ansible-playbook, ser2net or korvanext-cli apply is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
collection=$(cd "$here/../.." && pwd)
root=$(cd "$collection/../../.." && pwd)
bin=${1:-${KVX_BIN_DIR:-$root/build/bin}}
cli=$bin/korvanext-cli
sim=$bin/korvanext-gatewaysim
[ -x "$cli" ] || cli=$(command -v korvanext-cli || true)
[ -x "$sim" ] || sim=$(command -v korvanext-gatewaysim || true)
ser2net=$(PATH=$PATH:/usr/sbin:/sbin command -v ser2net || true)
python=/usr/bin/python3

skip() { echo "SKIPPED: $*"; exit 77; }
command -v ansible-playbook >/dev/null || skip "ansible-playbook is not installed (tools/setup.sh installs ansible-core)"
[ -n "$ser2net" ] || skip "ser2net is not installed (tools/setup.sh installs it)"
if [ ! -x "$cli" ] || [ ! -x "$sim" ]; then skip "korvanext-cli or korvanext-gatewaysim not found in $bin or on the PATH"; fi
"$cli" apply --help >/dev/null 2>&1 || skip "$cli has no 'apply' command yet; the collection's gateway_config needs it"
"$cli" schema --json >/dev/null 2>&1 || skip "$cli has no 'schema' command yet; the collection's gateway_config needs it"

work=$(mktemp -d)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do timeout 10 tail --pid="$p" -f /dev/null 2>/dev/null || kill -9 "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "== $*"; }

# Settings, kept copies and Ansible's own files stay below $work.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/data
export XDG_STATE_HOME=$work/home/state XDG_CACHE_HOME=$work/home/cache
mkdir -p "$HOME"
export ANSIBLE_COLLECTIONS_PATH=$root ANSIBLE_LOCAL_TEMP=$work/ansible-tmp ANSIBLE_REMOTE_TEMP=$work/ansible-tmp
export ANSIBLE_FORKS=10 ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_CONFIG=$work/ansible.cfg
echo '[defaults]' >"$ANSIBLE_CONFIG"
# Every call of the tool is noted (its arguments) before it runs.
mkdir -p "$work/bin"
export KVX_CALLS=$work/calls.log
: >"$KVX_CALLS"
{
  echo '#!/bin/sh'
  # shellcheck disable=SC2016,SC2028 # written for the wrapper to expand
  echo 'printf "%s\n" "$*" >>"$KVX_CALLS"'
  printf 'exec %q "$@"\n' "$cli"
} >"$work/bin/korvanext-cli"
chmod +x "$work/bin/korvanext-cli"
export PATH=$work/bin:$PATH

free_ports() {
  "$python" - "$1" <<'EOF'
import socket, sys
socks = [socket.socket() for _ in range(int(sys.argv[1]))]
for s in socks:
    s.bind(('127.0.0.1', 0))
print(' '.join(str(s.getsockname()[1]) for s in socks))
EOF
}

step "8 simulated gateways behind ser2net, and a 9th paced to its line for two hosts at once"
read -r -a tcp <<<"$(free_ports 10)"
yaml="%YAML 1.1
---"
for n in 1 2 3 4 5 6 7 8 9; do
  # The 9th takes as long as a real gateway, so that two tasks on it would overlap.
  pace=()
  [ "$n" -eq 9 ] && pace=(--baud-throttle 19200)
  "$sim" --image "$work/gw$n.bin" --serial "GW-0$n" --verbose "${pace[@]}" >"$work/sim$n.out" 2>"$work/sim$n.log" &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/sim$n.out" ] && break; sleep 0.1; done
  dev=$(head -n1 "$work/sim$n.out")
  [ -n "$dev" ] || fail "simulator $n printed no port"
  if [ "$n" -le 4 ] || [ "$n" -eq 9 ]; then accepter="tcp,127.0.0.1,${tcp[$n]}"; url="socket://127.0.0.1:${tcp[$n]}"
  else accepter="telnet(rfc2217),tcp,127.0.0.1,${tcp[$n]}"; url="rfc2217://127.0.0.1:${tcp[$n]}"; fi
  yaml+="
connection: &gw$n
  accepter: $accepter
  connector: serialdev,$dev,19200n81,local
  options:
    kickolduser: true"
  echo "$url" >"$work/url$n"
done
echo "$yaml" >"$work/ser2net.yaml"
# -u: no UUCP lock files, the pseudo-terminals are the test's own.
"$ser2net" -n -u -c "$work/ser2net.yaml" -P "$work/ser2net.pid" >"$work/ser2net.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  listening=$("$python" -c 'import sys
ports = {int(l.split()[1].split(":")[1], 16) for l in open("/proc/net/tcp").readlines()[1:] if l.split()[3] == "0A"}
print(all(int(p) in ports for p in sys.argv[1:]))' "${tcp[@]:1:9}")
  [ "$listening" = True ] && break
  sleep 0.1
done
[ "$listening" = True ] || fail "ser2net does not listen: $(cat "$work/ser2net.log")"

step "inventory: the baseline of docs/fleet, numbers per gateway, the PIN in a vault"
inv=$work/inventory
mkdir -p "$inv/group_vars/gateways" "$inv/host_vars"
cp "$collection/docs/fleet/inventory/group_vars/gateways/main.yml" "$inv/group_vars/gateways/"
cp "$collection/docs/fleet/site.yml" "$work/site.yml"
{ echo "gateways:"; echo "  hosts:"; for n in 1 2 3 4 5 6 7 8; do echo "    gw$n:"; done; } >"$inv/hosts.yml"
for n in 1 2 3 4 5 6 7 8; do
  printf 'gateway_port: %s\ngateway_wait: 5\ngateway_settings:\n  FXSNumAutDial: "01234567%02d"\n  "FXOAdd:1": "00%d"\n' \
    "$(cat "$work/url$n")" "$n" "4$n" >"$inv/host_vars/gw$n.yml"
done
pin=73051946
echo "vault password of this test run" >"$work/vault-pass"
vault() {
  printf 'vault_gateway_pin: "%s"\n' "$1" >"$inv/group_vars/gateways/vault.yml"
  ansible-vault encrypt --vault-password-file "$work/vault-pass" "$inv/group_vars/gateways/vault.yml" >/dev/null
}
vault "$pin"

# Runs the playbook; its results go to $work/last.json (callback_plugins/record_results.py).
export ANSIBLE_CALLBACK_PLUGINS=$here/callback_plugins ANSIBLE_CALLBACKS_ENABLED=record_results
export KVX_RESULTS=$work/last.json
play() {
  local inventory=$1; shift
  rm -f "$KVX_RESULTS"
  timeout 600 ansible-playbook -i "$inventory" "${book:-$work/site.yml}" --vault-password-file "$work/vault-pass" "$@" \
    >"$work/last.txt" 2>&1 || true
  cat "$work/last.txt" "$KVX_RESULTS" >>"$work/all-output.txt" 2>/dev/null || true
  [ -s "$KVX_RESULTS" ] || { cat "$work/last.txt" >&2; fail "ansible-playbook left no results"; }
}
check() { "$python" "$here/check.py" "$KVX_RESULTS" "$@" || { cat "$work/last.txt" >&2; fail "$step_name"; }; }
images() { for n in 1 2 3 4 5 6 7 8; do stat -c '%i %Y %s' "$work/gw$n.bin"; sha256sum <"$work/gw$n.bin"; done; }
simlogs() { for n in 1 2 3 4 5 6 7 8; do stat -c '%s' "$work/sim$n.log"; done; }
expected() {  # the intended changes of gateway N as KEY=VALUE words
  echo "FXSVolRec=4 FXOVolSend=2 FXSTimeDial=8 FXODTMFLength=200 FXSNumAutDial=01234567$(printf %02d "$1") FXOAdd:1=00$((40 + $1)) PINVal=(secret)"
}
intended=()
for n in 1 2 3 4 5 6 7 8; do intended+=("gw$n=$(expected "$n" | tr ' ' ',')"); done

step_name="--check --diff lists exactly the intended changes and writes nothing"; step "$step_name"
before=$(images)
: >"$KVX_CALLS"
play "$inv/hosts.yml" --check --diff
check changed "gw1 gw2 gw3 gw4 gw5 gw6 gw7 gw8" "" --diff "${intended[@]}"
[ "$(images)" = "$before" ] || fail "a check run wrote to a simulator's image"
grep '^apply ' "$KVX_CALLS" | grep -qv -- '--check' && fail "a check run called apply without --check"

step_name="the first run changes all 8"; step "$step_name"
play "$inv/hosts.yml"
check changed "gw1 gw2 gw3 gw4 gw5 gw6 gw7 gw8" "" --backup

step_name="the second run changes nothing"; step "$step_name"
before=$(images)
play "$inv/hosts.yml" --diff
check changed "" "gw1 gw2 gw3 gw4 gw5 gw6 gw7 gw8"
[ "$(images)" = "$before" ] || fail "an unchanged run wrote to a simulator's image"

step_name="a task with an environment of its own runs the module in its own process, with the same result"
step "$step_name"
# On a local connection the tasks otherwise run inside Ansible's worker.
sed 's/^\(      korvanext.gateway.gateway_config:\)$/      environment:\n        KVX_TASK_ENVIRONMENT: "1"\n\1/' \
  "$work/site.yml" >"$work/site-module.yml"
grep -q KVX_TASK_ENVIRONMENT "$work/site-module.yml" || fail "cannot give the fleet's task an environment"
book=$work/site-module.yml play "$inv/hosts.yml" --diff -vvv
check changed "" "gw1 gw2 gw3 gw4 gw5 gw6 gw7 gw8"
grep -q 'AnsiballZ_gateway_config' "$work/last.txt" || fail "the task with an environment did not run the module"
[ "$(images)" = "$before" ] || fail "an unchanged run wrote to a simulator's image"

step_name="a change made at gateway 3 is reported and repaired there alone"; step "$step_name"
printf 'FXSVolRec: 1\n' >"$work/local-change.yml"
"$cli" apply "$work/local-change.yml" --port "$(cat "$work/url3")" --wait 5 >/dev/null || fail "cannot change gateway 3 by hand"
before=$(images | sed -n '5,6d;p')
play "$inv/hosts.yml" --diff
check changed "gw3" "gw1 gw2 gw4 gw5 gw6 gw7 gw8" --diff "gw3=FXSVolRec=4"
[ "$(images | sed -n '5,6d;p')" = "$before" ] || fail "repairing gateway 3 wrote to another gateway"

step_name="two hosts that name one port take turns: one changes the gateway, the other finds it done"
step "$step_name"
# ser2net lets a new connection push out the one before (kickolduser), so two tasks on
# the 9th gateway's line at once would cut each other, or both write.
mkdir -p "$work/twins/host_vars"
cp -r "$inv/group_vars" "$work/twins/"
printf 'gateways:\n  hosts:\n    twin-a:\n    twin-b:\n' >"$work/twins/hosts.yml"
for twin in twin-a twin-b; do
  printf 'gateway_port: %s\ngateway_wait: 5\n' "$(cat "$work/url9")" >"$work/twins/host_vars/$twin.yml"
done
before=$(images)
play "$work/twins/hosts.yml" --diff
check turns "twin-a twin-b"
[ "$(images)" = "$before" ] || fail "the two hosts on the 9th gateway wrote to another gateway"

step_name="a bad value fails before any connection"; step "$step_name"
logs=$(simlogs)
: >"$KVX_CALLS"
play "$inv/hosts.yml" -e '{"gateway_baseline": {"FXSVolRec": 9}}'
check failed "gw1 gw2 gw3 gw4 gw5 gw6 gw7 gw8" "FXSVolRec"
[ "$(simlogs)" = "$logs" ] || fail "a simulator heard something although a value was bad"
grep -v '^schema' "$KVX_CALLS" && fail "korvanext-cli ran more than schema although a value was bad"

step_name="an unreachable gateway fails alone with its reason"; step "$step_name"
cp "$inv/hosts.yml" "$work/hosts-dead.yml"
echo "    gw9:" >>"$work/hosts-dead.yml"
cp -r "$inv/group_vars" "$inv/host_vars" "$work/"
printf 'gateway_port: socket://127.0.0.1:%s\ngateway_wait: 5\n' "${tcp[0]}" >"$work/host_vars/gw9.yml"
play "$work/hosts-dead.yml"
check failed "gw9" "127.0.0.1:${tcp[0]}"
check changed "" "gw1 gw2 gw3 gw4 gw5 gw6 gw7 gw8"

step_name="the PIN never appears, even with -vvv"; step "$step_name"
newpin=58264013
vault "$newpin"
newpin_diff=()
for n in 1 2 3 4 5 6 7 8; do newpin_diff+=("gw$n=PINVal=(secret)"); done
cp "$inv/group_vars/gateways/vault.yml" "$work/group_vars/gateways/vault.yml"
timeout 600 ansible-playbook -vvv --diff -i "$inv/hosts.yml" "$work/site.yml" \
  --vault-password-file "$work/vault-pass" >"$work/vvv.txt" 2>&1 || { cat "$work/vvv.txt" >&2; fail "the -vvv run failed"; }
cat "$work/vvv.txt" "$KVX_RESULTS" >>"$work/all-output.txt"
check changed "gw1 gw2 gw3 gw4 gw5 gw6 gw7 gw8" "" --diff "${newpin_diff[@]}"
grep -q 'AnsiballZ_gateway_config' "$work/vvv.txt" && fail "the fleet's task ran a module process on a local connection"
for secret in "$pin" "$newpin"; do
  if grep -l -- "$secret" "$work/all-output.txt" "$KVX_CALLS"; then fail "the PIN appears in the output or on a command line"; fi
done
echo "PASS: ansible fleet against 8 gateways behind ser2net"
