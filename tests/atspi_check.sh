#!/usr/bin/env bash
# What a screen reader finds: every page, tab and dialog of the window walked
# over the accessibility bus (AT-SPI) in a private D-Bus session under a
# virtual X server; any focusable control without a name fails.
# usage: atspi_check.sh KORVANEXT [LANGUAGE_ID...]   (default: Eng Ger)
set -euo pipefail
bin=$1
shift
languages=("$@")
[ ${#languages[@]} -eq 0 ] && languages=(Eng Ger)
home=$(mktemp -d)
# The programs keep their settings and notes there, never in the developer\'s own folders.
export XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_STATE_HOME=$home/.local/state XDG_CACHE_HOME=$home/.cache
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/run"
export HOME=$home XDG_RUNTIME_DIR=$home/run XDG_CONFIG_HOME=$home/config
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 NO_AT_BRIDGE=0
export GTK_A11Y=none
# The system Python carries the bindings, whatever python3 is first on the path.
exec dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24" \
  /usr/bin/python3 "$(dirname "$0")/atspi_check.py" "$bin" "${languages[@]}"
