#!/usr/bin/env bash
# Fails, naming the files, when a C++ source differs from what the house
# .clang-format makes of it; 'clang-format -i FILE' mends one.
set -euo pipefail
format=$1
cd "$2"
# Only a checkout knows which files are sources (a package build holds generated ones too).
if ! files=$(git ls-files '*.cpp' '*.h' 2>/dev/null); then
    echo "not a git checkout: nothing checked"
    exit 0
fi
# One run over all files; each complaint names its file.
bad=$(echo "$files" | xargs -P 2 -n 40 "$format" --dry-run 2>&1 | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: .*clang-format-violations.*/\1/p' | sort -u)
for f in $bad; do echo "not formatted: $f (clang-format -i $f)"; done
[ -z "$bad" ]
