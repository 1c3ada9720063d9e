#!/usr/bin/env bash
# Pictures of the main window and of every page in English, under a virtual X server.
# usage: screenshots.sh KORVANEXT OUTDIR [LANGUAGE_ID...]   (default: every language)
set -euo pipefail
bin=$1
out=$2
mkdir -p "$out"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
shift 2
languages=("$@")
[ ${#languages[@]} -eq 0 ] && languages=(Eng Cze Slo Ger Pol Fin Tur)
for lang in "${languages[@]}"; do
  for page in main 0 1 2 3 4 5 6; do
    file="$out/$lang-page-$page.png"
    args=(--demo --language "$lang" --screenshot "$file")
    [ "$page" != main ] && args+=(--page "$page")
    HOME=$home xvfb-run -a -s "-screen 0 1280x1024x24" "$bin" "${args[@]}" 2>/dev/null
    size=$(stat -c %s "$file")
    if [ "$size" -lt 10000 ]; then
      echo "screenshot of $lang page $page looks empty ($size bytes)"
      exit 1
    fi
  done
done
echo "screenshots in $out"
