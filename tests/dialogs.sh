#!/usr/bin/env bash
# Pictures of every dialog and question in every language, under a virtual X
# server with a window manager so that what stays in front is real.
# usage: dialogs.sh DIALOGSHOTS OUTDIR [LANGUAGE_ID...]   (default: every language)
# KVX_SCREEN=WIDTHxHEIGHT sets the virtual screen (default 1280x1024).
set -euo pipefail
bin=$1
out=$2
shift 2
languages=("$@")
[ ${#languages[@]} -eq 0 ] && languages=(Eng Cze Slo Ger Pol Fin Tur)
mkdir -p "$out"
home=$(mktemp -d)
# The programs keep their settings and notes there, never in the developer\'s own folders.
export XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_STATE_HOME=$home/.local/state XDG_CACHE_HOME=$home/.cache
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/run"
for lang in "${languages[@]}"; do
  HOME=$home XDG_RUNTIME_DIR=$home/run QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 ${KVX_SCREEN:-1280x1024}x24" bash -c '
    # The window manager must own the screen before the first window maps; a
    # start that does not come up in time is tried once more.
    up=0
    for attempt in 1 2; do
      openbox >"$HOME/openbox.log" 2>&1 &
      wm=$!
      for _ in $(seq 150); do
        if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then up=1; break; fi
        sleep 0.1
      done
      [ "$up" = 1 ] && break
      kill "$wm" 2>/dev/null || true
      wait "$wm" 2>/dev/null || true
    done
    if [ "$up" != 1 ]; then
      echo "the window manager did not start:" >&2; cat "$HOME/openbox.log" >&2
      exit 1
    fi
    sleep 0.3
    rc=0
    "$0" "$1" "$2" || rc=$?
    kill "$wm" 2>/dev/null || true
    wait "$wm" 2>/dev/null || true
    exit "$rc"' "$bin" "$lang" "$out"
done
echo "dialog screenshots in $out"
