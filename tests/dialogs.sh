#!/usr/bin/env bash
# Pictures of every dialog and question in every language, under a virtual X
# server with a window manager so that what stays in front is real.
# usage: dialogs.sh DIALOGSHOTS OUTDIR [LANGUAGE_ID...]   (default: every language)
set -euo pipefail
bin=$1
out=$2
shift 2
languages=("$@")
[ ${#languages[@]} -eq 0 ] && languages=(Eng Cze Slo Ger Pol Fin Tur)
mkdir -p "$out"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/run"
for lang in "${languages[@]}"; do
  HOME=$home XDG_RUNTIME_DIR=$home/run xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    openbox >/dev/null 2>&1 &
    wm=$!
    # The window manager must own the screen before the first window maps.
    up=0
    for _ in $(seq 200); do
      if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then up=1; break; fi
      sleep 0.1
    done
    if [ "$up" != 1 ]; then
      echo "the window manager did not start" >&2
      kill "$wm" 2>/dev/null || true
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
