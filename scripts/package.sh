#!/usr/bin/env bash
# Builds the Debian package vormi_<version>_<arch>.deb into the checkout's top
# directory: a Release build with Debian's hardening flags, installed under
# /usr (the game in /usr/games) and packed by CPack, which asks
# dpkg-shlibdeps for the dependencies. Installs what it needs when missing.
#   bash scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/packages.sh
# dpkg-dev: dpkg-buildflags and dpkg-shlibdeps; file: CPack finds the ELF files with it.
install_missing g++ cmake make dpkg-dev file

build=${VORMI_PACKAGE_BUILD:-build-package}
# The flags Debian packages are built with, every hardening one included:
# fortify, stack protector, read-only relocations, immediate binding, PIE.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVORMI_TESTS=OFF -DVORMI_BENCH=OFF \
  -DCMAKE_INSTALL_BINDIR=games \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$build" -j "$(nproc)"
rm -rf "$build/deb"
cpack --config "$build/CPackConfig.cmake" -B "$build/deb"
for deb in "$build"/deb/*.deb; do
  mv "$deb" .
  echo "package.sh: built $(basename "$deb")"
done
