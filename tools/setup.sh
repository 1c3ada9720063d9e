#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, when it is missing.
# usage: setup.sh [--packaging]
set -euo pipefail
packages=(cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev libgtest-dev libgmock-dev libyaml-cpp-dev zlib1g-dev
          xvfb xauth xfonts-base fonts-dejavu-core clang clang-format libclang-rt-14-dev
          qt6-translations-l10n libqt6svg6 openbox x11-utils
          qt6-charts-dev poppler-utils ser2net weston qt6-wayland
          at-spi2-core python3-pyatspi dbus dbus-x11
          ansible-core ansible-lint
          python3-venv python3-pycodestyle pylint python3-voluptuous yamllint shellcheck)
# With --packaging: what building and checking the Debian packages needs.
if [ "${1:-}" = "--packaging" ]; then
  packages+=(debhelper dpkg-dev fakeroot lintian appstream desktop-file-utils binutils man-db)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
