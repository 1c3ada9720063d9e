#!/usr/bin/env bash
# Pictures for a person to look at, under a virtual X server: the program as it
# starts in each language, then every page, every tab and every dialog in every
# language at the window's default size (the fit test takes them as it checks
# that every text fits; it fails when one does not).
# usage: screenshots.sh KORVANEXT OUTDIR [LANGUAGE_ID...]   (start-up pictures: default every language)
# The test program is looked for beside KORVANEXT, or given in KVX_TESTS.
set -euo pipefail
bin=$1
out=$2
shift 2
tests=${KVX_TESTS:-$(dirname "$bin")/korvanext_tests}
mkdir -p "$out"
home=$(mktemp -d)
# The programs keep their settings and notes there, never in the developer\'s own folders.
export XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_STATE_HOME=$home/.local/state XDG_CACHE_HOME=$home/.cache
trap 'rm -rf "$home"' EXIT
languages=("$@")
[ ${#languages[@]} -eq 0 ] && languages=(Eng Cze Slo Ger Pol Fin Tur)

check() {
  local size
  size=$(stat -c %s "$1" 2>/dev/null || echo 0)
  if [ "$size" -lt 10000 ]; then
    echo "screenshot $1 looks empty ($size bytes)"
    exit 1
  fi
}

for lang in "${languages[@]}"; do
  file="$out/$lang-main.png"
  HOME=$home QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$bin" --demo --language "$lang" --screenshot "$file" 2>/dev/null
  check "$file"
done

HOME=$home KVX_SCREENSHOTS=$out QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$tests" --gtest_filter='Fit.*' --gtest_brief=1 2>/dev/null
for file in "$out"/Eng-page0-tab0-0.png "$out"/Tur-page6.png "$out"/Pol-TFSettingsDialog.png; do check "$file"; done
echo "screenshots in $out: $(ls "$out" | wc -l) pictures"
