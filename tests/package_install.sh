#!/usr/bin/env bash
# Installs the built Debian packages on this machine as a user would, runs the
# installed programs, and removes the packages again. Needs root (CI runs as root).
# The command line comes first and alone: it must install and reach a gateway
# (the simulator) without any window library.
# usage: package_install.sh [DIR]   (DIR holds korvanext_*.deb; default build-deb/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(cd "${1:-$root/build-deb}" && pwd)
arch=$(dpkg --print-architecture)
user_deb=$(ls "$dir"/korvanext_*_"$arch".deb)
cli_deb=$(ls "$dir"/korvanext-cli_*_"$arch".deb)
demo_deb=$(ls "$dir"/korvanext-demo_*_"$arch".deb)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive

home=$(mktemp -d)
# The programs keep their settings and notes there, never in the developer\'s own folders.
export XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_STATE_HOME=$home/.local/state XDG_CACHE_HOME=$home/.cache
mkdir -m 700 "$home/run"
cleanup() {
  [ -z "${sim_pid:-}" ] || kill "$sim_pid" 2>/dev/null || true
  $SUDO apt-get purge -y -qq korvanext korvanext-cli korvanext-demo >/dev/null 2>&1 || true
  rm -rf "$home"
}
trap cleanup EXIT
fail() { echo "package install test: $*"; exit 1; }
run() { HOME=$home XDG_RUNTIME_DIR=$home/run QT_QPA_PLATFORM=offscreen timeout 60 "$@"; }

window_libs='libqt6widgets|libqt6charts|libqt6printsupport|libqt6opengl|qt6-qpa-plugins'
# Every package apt would bring for the command line, recursively, none of them a window library.
installed_window_libs() { dpkg-query -W -f '${Package}\n' 2>/dev/null | grep -E "^($window_libs)" || true; }
before=$(installed_window_libs)

echo "== apt-get install $cli_deb"
$SUDO apt-get install -y -qq --no-install-recommends "$cli_deb" >/dev/null
[ -x /usr/bin/korvanext-cli ] || fail "korvanext-cli is not in /usr/bin"
[ ! -e /usr/bin/korvanext ] || fail "the window came with the command line"
depends=$(dpkg -s korvanext-cli | sed -n 's/^Depends: //p')
echo "korvanext-cli depends on: $depends"
! grep -Eq "$window_libs" <<<"$depends" || fail "korvanext-cli depends on a window library: $depends"
closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks --no-replaces \
          --no-enhances korvanext-cli 2>/dev/null | grep -Eo '^[a-z0-9][a-z0-9.+-]*' | sort -u)
! grep -Eq "^($window_libs)" <<<"$closure" || fail "korvanext-cli pulls in a window library: $(grep -E "^($window_libs)" <<<"$closure" | tr '\n' ' ')"
[ "$(installed_window_libs)" = "$before" ] || fail "installing korvanext-cli installed a window library"

# The command-line tool: its version, and its language files (a port error is a language text).
out=$(run korvanext-cli --version 2>&1) || fail "korvanext-cli --version: $out"
grep -q "1.26" <<<"$out" || fail "korvanext-cli --version says '$out'"
echo "korvanext-cli: $(head -n1 <<<"$out")"
set +e
err=$(run korvanext-cli read "$home/x.kvx" --port /dev/no-such-port 2>&1)
rc=$?
set -e
[ $rc -eq 15 ] && grep -q "serial port cannot be opened" <<<"$err" || fail "korvanext-cli read: exit $rc: $err"

# The simulator's package recommends the window; without recommends it brings none.
echo "== apt-get install --no-install-recommends $demo_deb"
$SUDO apt-get install -y -qq --no-install-recommends "$demo_deb" >/dev/null
[ ! -e /usr/bin/korvanext ] || fail "the demo package pulled in the window"
[ "$(installed_window_libs)" = "$before" ] || fail "the demo package installed a window library"
run korvanext-gatewaysim --link "$home/gw" >/dev/null 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -e "$home/gw" ] && break; sleep 0.1; done
[ -e "$home/gw" ] || fail "the simulator made no link"
out=$(run korvanext-cli identify --port "$home/gw" 2>&1) || fail "korvanext-cli identify: $out"
echo "korvanext-cli identify: $(head -n1 <<<"$out")"
# The sheet's PDF writer is a module of the command line, loaded from its installed folder.
out=$(run korvanext-cli read "$home/gw.kvx" --port "$home/gw" 2>&1) || fail "korvanext-cli read: $out"
out=$(run korvanext-cli sheet "$home/gw.kvx" "$home/gw.pdf" 2>&1) || fail "korvanext-cli sheet: $out"
[ "$(head -c 5 "$home/gw.pdf")" = "%PDF-" ] || fail "korvanext-cli sheet wrote no PDF"
echo "korvanext-cli sheet: $(dpkg -L korvanext-cli | grep -F korvanext-sheetpdf.so)"
kill "$sim_pid" 2>/dev/null || true
wait "$sim_pid" 2>/dev/null || true
sim_pid=

# The Ansible collection (with the command line) where Ansible looks without configuration.
collection=/usr/share/ansible/collections/ansible_collections/korvanext/gateway
[ -f $collection/galaxy.yml ] && [ ! -e $collection/tests ] || fail "the Ansible collection is not in $collection"
if command -v ansible-doc >/dev/null; then
  out=$(run env -u ANSIBLE_COLLECTIONS_PATH ansible-doc korvanext.gateway.gateway_config 2>&1) ||
    fail "ansible-doc does not find korvanext.gateway.gateway_config: $out"
fi

echo "== apt-get install $user_deb"
$SUDO apt-get install -y -qq "$user_deb" >/dev/null
[ -x /usr/bin/korvanext ] && [ -x /usr/bin/korvanext-cli ] || fail "the programs are not in /usr/bin"
! ls /usr/share/korvanext/*.Bin >/dev/null 2>&1 || fail "firmware images in the program folder"

# The window, offscreen, from its installed paths.
version=$(run korvanext --version) || fail "korvanext --version failed"
echo "korvanext: $version"
grep -q "1.26" <<<"$version" || fail "korvanext --version says '$version'"
run korvanext --quit-after 500 || fail "the window did not start and close"

[ -x /usr/bin/korvanext-gatewaysim ] && [ -f /usr/share/korvanext-demo/Korvanext-3.20-demo.Bin ] ||
  fail "the demo package lacks the simulator or its firmware"
run korvanext-gatewaysim --help >/dev/null || fail "korvanext-gatewaysim --help failed"
run korvanext --demo --quit-after 1000 || fail "the window's demo did not start from the installed paths"
# Manual pages as installed (some machines leave out /usr/share/man when installing).
grep -Eq '^path-exclude=?/usr/share/man' /etc/dpkg/dpkg.cfg.d/* 2>/dev/null ||
  man -w korvanext korvanext-cli korvanext-gatewaysim >/dev/null || fail "manual pages not found"

echo "== apt-get purge korvanext korvanext-cli korvanext-demo"
$SUDO apt-get purge -y -qq korvanext korvanext-cli korvanext-demo >/dev/null
[ ! -e /usr/bin/korvanext ] && [ ! -e /usr/bin/korvanext-cli ] && [ ! -e /usr/share/korvanext ] &&
  [ ! -e /usr/bin/korvanext-gatewaysim ] ||
  fail "files are left after removal"
echo "package install test passed"
