#!/usr/bin/env bash
# ansible-test sanity on the collection without a package index. ansible-test keeps a
# virtual environment per test and fills it from PyPI, which a machine with only
# Debian's packages cannot reach; here each one it asks for is made from Debian's
# packages instead (pycodestyle, pylint, voluptuous, yamllint, PyYAML, Jinja2: their
# versions, not ansible-test's pinned ones), in a scratch home. Tests that need a
# container or a newer Python than this machine has are skipped by ansible-test itself.
# usage: ansible_sanity.sh [ansible-test sanity arguments]; exit 77 without ansible-test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
command -v ansible-test >/dev/null || { echo "ansible-test is missing: tools/setup.sh installs ansible-core" >&2; exit 77; }
collection=$root/ansible_collections/korvanext/gateway
home=$(mktemp -d)
# ansible-test's results go to tests/output of the collection and the checkers it starts
# leave compiled caches beside the plugins: both are removed after, unless there before.
[ -e "$collection/tests/output" ] && keep_output=1 || keep_output=0
# shellcheck disable=SC2317 # called by the trap
tidy() {
    find "$collection" -name __pycache__ -type d -newer "$home" -prune -exec rm -rf {} +
    [ "$keep_output" = 1 ] || rm -rf "$collection/tests/output"
    rm -rf "$home"
}
trap tidy EXIT
cd "$collection"
# Each run stops at the first environment it cannot fill; one more is made for the next.
for _ in $(seq 20); do
    status=0
    out=$(HOME=$home ansible-test sanity --python 3.11 --color no "$@" 2>&1) || status=$?
    venv=$(sed -n 's|^FATAL: Python 3.11 at "\(.*\)/bin/python" does not have pip available.$|\1|p' <<<"$out")
    if [ -z "$venv" ]; then
        printf '%s\n' "$out"
        exit $status
    fi
    case $venv in "$home"/*) ;; *) echo "unexpected environment $venv" >&2; exit 1 ;; esac
    rm -rf "$venv"
    /usr/bin/python3 -m venv --system-site-packages --without-pip "$venv"
    # What ansible-test writes once it has installed an environment: what was installed,
    # whether PyYAML has libyaml (Debian's has), and the marker that it is complete.
    echo '[]' >"$venv/meta.install.json"
    echo 'true' >"$venv/meta.yaml.json"
    touch "$venv/marker.txt"
done
echo "ansible-test asked for more environments than expected" >&2
exit 1
