#!/usr/bin/env bash
# Installs the built Debian packages on this machine as a user would, runs the
# installed programs, and removes the packages again. Needs root (CI runs as root).
# usage: package_install.sh [DIR]   (DIR holds korvanext_*.deb; default build-deb/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(cd "${1:-$root/build-deb}" && pwd)
arch=$(dpkg --print-architecture)
user_deb=$(ls "$dir"/korvanext_*_"$arch".deb)
demo_deb=$(ls "$dir"/korvanext-demo_*_"$arch".deb)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive

home=$(mktemp -d)
# The programs keep their settings and notes there, never in the developer\'s own folders.
export XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_STATE_HOME=$home/.local/state XDG_CACHE_HOME=$home/.cache
mkdir -m 700 "$home/run"
cleanup() {
  $SUDO apt-get purge -y -qq korvanext korvanext-demo >/dev/null 2>&1 || true
  rm -rf "$home"
}
trap cleanup EXIT
fail() { echo "package install test: $*"; exit 1; }
run() { HOME=$home XDG_RUNTIME_DIR=$home/run QT_QPA_PLATFORM=offscreen timeout 60 "$@"; }

echo "== apt-get install $user_deb"
$SUDO apt-get install -y -qq "$user_deb" >/dev/null
[ -x /usr/bin/korvanext ] && [ -x /usr/bin/korvanext-cli ] || fail "the programs are not in /usr/bin"
[ ! -e /usr/bin/korvanext-gatewaysim ] || fail "the simulator came with the program"
! ls /usr/share/korvanext/*.Bin >/dev/null 2>&1 || fail "firmware images in the program folder"

# The command-line tool: its version, and its language files (a port error is a language text).
out=$(run korvanext-cli --version 2>&1) || fail "korvanext-cli --version: $out"
grep -q "1.26" <<<"$out" || fail "korvanext-cli --version says '$out'"
echo "korvanext-cli: $(head -n1 <<<"$out")"
set +e
err=$(run korvanext-cli read "$home/x.kvx" --port /dev/no-such-port 2>&1)
rc=$?
set -e
[ $rc -eq 15 ] && grep -q "serial port cannot be opened" <<<"$err" || fail "korvanext-cli read: exit $rc: $err"

# The Ansible collection where Ansible looks without configuration.
collection=/usr/share/ansible/collections/ansible_collections/korvanext/gateway
[ -f $collection/galaxy.yml ] && [ ! -e $collection/tests ] || fail "the Ansible collection is not in $collection"
if command -v ansible-doc >/dev/null; then
  out=$(run env -u ANSIBLE_COLLECTIONS_PATH ansible-doc korvanext.gateway.gateway_config 2>&1) ||
    fail "ansible-doc does not find korvanext.gateway.gateway_config: $out"
fi

# The window, offscreen, from its installed paths.
version=$(run korvanext --version) || fail "korvanext --version failed"
echo "korvanext: $version"
grep -q "1.26" <<<"$version" || fail "korvanext --version says '$version'"
run korvanext --quit-after 500 || fail "the window did not start and close"

echo "== apt-get install $demo_deb"
$SUDO apt-get install -y -qq "$demo_deb" >/dev/null
[ -x /usr/bin/korvanext-gatewaysim ] && [ -f /usr/share/korvanext-demo/Korvanext-3.20-demo.Bin ] ||
  fail "the demo package lacks the simulator or its firmware"
run korvanext-gatewaysim --help >/dev/null || fail "korvanext-gatewaysim --help failed"
run korvanext --demo --quit-after 1000 || fail "the window's demo did not start from the installed paths"
# Manual pages as installed (some machines leave out /usr/share/man when installing).
grep -Eq '^path-exclude=?/usr/share/man' /etc/dpkg/dpkg.cfg.d/* 2>/dev/null ||
  man -w korvanext korvanext-cli korvanext-gatewaysim >/dev/null || fail "manual pages not found"

echo "== apt-get purge korvanext korvanext-demo"
$SUDO apt-get purge -y -qq korvanext korvanext-demo >/dev/null
[ ! -e /usr/bin/korvanext ] && [ ! -e /usr/share/korvanext ] && [ ! -e /usr/bin/korvanext-gatewaysim ] ||
  fail "files are left after removal"
echo "package install test passed"
