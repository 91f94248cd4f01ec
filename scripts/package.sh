#!/usr/bin/env bash
# Builds the Debian package of Tessek: a Release build without the tests, with Debian's
# hardening flags, in build-package/ (or the folder given), packed by CPack. The package's
# run-time dependencies (Qt 6, QCustomPlot, the C++ library) are read from the binaries by
# dpkg-shlibdeps. Installs the Debian packages it needs when any is missing. The last
# line it prints is the path of the .deb:
#
#   deb=$(scripts/package.sh | tail -n 1) && sudo apt-get install "./${deb#$PWD/}"
#
# Usage: scripts/package.sh [build-dir] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh

build_dir=${1:-build-package}
shift || true

ensure_packages g++ cmake ninja-build pkg-config qt6-base-dev libgl-dev \
  libqcustomplot-dev libqcustomplot2.1-qt6 gettext dpkg-dev file lintian

# Warnings are not errors here: a newer compiler's new warning must not stop a user's
# package. The flags are Debian's own (fortified, stack-protected, relro, -O2), in place
# of CMake's Release -O3.
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG -DBUILD_TESTING=OFF \
  -DTESSEK_WERROR=OFF -DTESSEK_DEBIAN_DOCS=ON -DCMAKE_INSTALL_PREFIX=/usr "$@" >&2
cmake --build "$build_dir" >&2
rm -f "$build_dir"/tessek_*.deb
(cd "$build_dir" && cpack -G DEB) >&2
deb=$(ls "$build_dir"/tessek_*.deb)
# Errors are fatal; warnings and notes are shown.
lintian --fail-on error "$deb" >&2
realpath "$deb"
