#!/usr/bin/env bash
# Installs the Debian packages Tessek needs (when any is missing), then configures and
# builds with warnings as errors. Usage: scripts/setup.sh [build-dir] [extra cmake
# arguments...]. With TESSEK_CI=1 it also installs what CI checks with: the desktop entry
# and metainfo validators, clang-format and clang-tidy.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build}
shift || true

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libqcustomplot-dev libqcustomplot2.1-qt6
  libgtest-dev libgmock-dev
  gettext
  fonts-dejavu-core
)
if [ "${TESSEK_CI:-0}" = 1 ]; then
  packages+=(desktop-file-utils appstream clang-format clang-tidy)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S . -B "$build_dir" -G Ninja -DTESSEK_WERROR=ON "$@"
cmake --build "$build_dir"
