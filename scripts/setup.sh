#!/usr/bin/env bash
# Installs the Debian packages Tessek needs (when any is missing), then configures and
# builds with warnings as errors. Usage: scripts/setup.sh [build-dir] [extra cmake
# arguments...]. With TESSEK_CI=1 it also installs what CI checks with: the desktop entry
# and metainfo validators, clang-format, clang-tidy and systemd-analyze (systemd).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh

build_dir=${1:-build}
shift || true

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libqcustomplot-dev libqcustomplot2.1-qt6
  libgtest-dev libgmock-dev
  libmuparser-dev
  gettext
  fonts-dejavu-core
)
if [ "${TESSEK_CI:-0}" = 1 ]; then
  packages+=(desktop-file-utils appstream clang-format clang-tidy systemd)
fi

ensure_packages "${packages[@]}"

cmake -S . -B "$build_dir" -G Ninja -DTESSEK_WERROR=ON "$@"
cmake --build "$build_dir"
