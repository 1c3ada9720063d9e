#!/usr/bin/env bash
# Debian's ansible-lint on the collection's fleet playbook and inventory, the ones the
# README shows, with the collection of this tree; exit 77 without ansible-lint.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
command -v ansible-lint >/dev/null || { echo "ansible-lint is missing: tools/setup.sh installs it" >&2; exit 77; }
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
cd "$root/ansible_collections/korvanext/gateway"
# The folder named ansible_collections itself: this ansible-lint takes the parent of the
# path it is given as the one place its own rules look for collections.
status=0
out=$(HOME=$home ANSIBLE_COLLECTIONS_PATH=$root/ansible_collections NO_COLOR=1 \
      ansible-lint --offline --strict docs/fleet/site.yml docs/fleet/inventory 2>&1) || status=$?
printf '%s\n' "$out"
# A module its rules cannot load is only logged, and its options go unchecked.
if grep -q "Unable to" <<<"$out"; then
    echo "ansible-lint could not load the collection's modules" >&2
    exit 1
fi
exit $status
