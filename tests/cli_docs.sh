#!/usr/bin/env bash
# The man page and the bash completion of korvanext-cli know every command
# that --help lists, the page renders without warnings, and the completion
# offers commands, options and parameter keys.
set -euo pipefail
cli=$1
src=$2
page=$src/packaging/man/korvanext-cli.1
completion=$src/packaging/bash-completion/korvanext-cli
fail() { echo "cli_docs: $*" >&2; exit 1; }

commands=$("$cli" --help | sed -n '/^Commands:/,/^$/p' | awk 'NF && $1 != "Commands:" {print $1}')
[ -n "$commands" ] || fail "--help lists no command"
for c in $commands; do
    grep -q "^\.BI\? $c\b" "$page" || fail "the man page does not describe '$c'"
done
for o in $("$cli" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "${o//-/\\\\-}" "$page" || fail "the man page does not name $o"
done
if command -v groff >/dev/null; then
    warnings=$(groff -man -ww -z "$page" 2>&1) || true
    [ -z "$warnings" ] || fail "groff: $warnings"
fi

# The completion, with the few helpers of the bash-completion package stubbed.
out=$(CLI=$cli bash -c '
    _init_completion() { words=("${COMP_WORDS[@]}"); cword=$COMP_CWORD; cur=${words[cword]}; prev=${words[cword-1]}; split=false; }
    _filedir() { COMPREPLY=(FILE); }
    compopt() { :; }
    complete() { :; }
    source "$0"
    ask() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMPREPLY=(); _korvanext_cli; echo "${COMPREPLY[*]}"; }
    ask "$CLI" ""
    ask "$CLI" identify --p
    ask "$CLI" get a.kvx FXSVolR
    ask "$CLI" diff --
' "$completion")
mapfile -t lines <<<"$out"
for c in $commands; do
    [[ " ${lines[0]} " == *" $c "* ]] || fail "the completion does not offer '$c'"
done
[ "${lines[1]}" = "--port --ports-from" ] || fail "options of identify: '${lines[1]}'"
[ "${lines[2]}" = "FXSVolRec" ] || fail "keys: '${lines[2]}'"
[ "${lines[3]}" = "--defaults --json --help" ] || fail "options of diff: '${lines[3]}'"
echo "cli_docs: ok"
