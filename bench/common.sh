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

# A scratch folder in $work, removed however the script ends.
bench_scratch() {
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
}
