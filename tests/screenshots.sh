#!/usr/bin/env bash
# Pictures of the main window and of every page in English, under a virtual X server.
# usage: screenshots.sh KORVANEXT OUTDIR [LANGUAGE_ID]
set -euo pipefail
bin=$1
out=$2
mkdir -p "$out"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
for page in main 0 1 2 3 4 5 6; do
  args=(--demo --screenshot "$out/page-$page.png")
  [ "$page" != main ] && args+=(--page "$page")
  HOME=$home xvfb-run -a -s "-screen 0 1280x1024x24" "$bin" "${args[@]}" 2>/dev/null
  size=$(stat -c %s "$out/page-$page.png")
  if [ "$size" -lt 10000 ]; then
    echo "screenshot of page $page looks empty ($size bytes)"
    exit 1
  fi
done
echo "screenshots in $out"
