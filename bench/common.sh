# Sourced by the bench scripts. Sets $root (the source tree) and $bin (the built
# programs; KVX_BUILD_DIR picks another build folder), lets the scripts' Python
# bodies import the modules beside this file, and offers bench_scratch.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=${KVX_BUILD_DIR:-$root/build}/bin
if [ ! -x "$bin/korvanext-cli" ]; then
    echo "$bin/korvanext-cli is missing: build the project first, or set KVX_BUILD_DIR to a build folder" >&2
    exit 1
fi
export PYTHONPATH="$root/bench${PYTHONPATH:+:$PYTHONPATH}"
export PYTHONDONTWRITEBYTECODE=1  # no compiled cache left in the source tree

# A scratch folder in $work, removed when the script ends, also by a signal.
bench_scratch() {
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM
}
