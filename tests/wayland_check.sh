#!/usr/bin/env bash
# The window on a headless Wayland compositor (weston): it must run natively and
# answer one question there.
# usage: wayland_check.sh KORVANEXT_WAYLANDQUESTION
set -euo pipefail
bin=$1
home=$(mktemp -d)
# The programs keep their settings and notes there, never in the developer\'s own folders.
export XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_STATE_HOME=$home/.local/state XDG_CACHE_HOME=$home/.cache
mkdir -m 700 "$home/run"
export HOME=$home XDG_RUNTIME_DIR=$home/run XDG_CONFIG_HOME=$home/config
socket=korvanext-check
weston --backend=headless-backend.so --socket=$socket --idle-time=0 >"$home/weston.log" 2>&1 &
compositor=$!
trap 'kill $compositor 2>/dev/null || true; wait $compositor 2>/dev/null || true; rm -rf "$home"' EXIT
for _ in $(seq 100); do
  [ -S "$XDG_RUNTIME_DIR/$socket" ] && break
  if ! kill -0 $compositor 2>/dev/null; then echo "weston did not start:" >&2; cat "$home/weston.log" >&2; exit 1; fi
  sleep 0.1
done
[ -S "$XDG_RUNTIME_DIR/$socket" ] || { echo "weston offered no socket:" >&2; cat "$home/weston.log" >&2; exit 1; }
WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland timeout 60 "$bin"
