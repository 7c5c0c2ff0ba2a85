#!/usr/bin/env bash
# The Windows build and its tests, on this machine under wine: installs the
# MinGW-w64 cross compiler, wine and GoogleTest's sources when they are
# missing, fetches libvterm's source once, cross-builds everything in
# build-windows/ (VORMI_WINDOWS_BUILD names another) with
# cmake/mingw-w64-x86_64.cmake, runs the test programs through wine with
# ctest, and checks that vormi.exe imports nothing but system DLLs. Wine runs
# in a prefix of its own inside the build directory, with no display. Options
# for CMake may follow. Needs Debian's packages: elsewhere it says so and ends.
#   bash scripts/test-windows.sh [CMAKE OPTIONS...]
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v apt-get >/dev/null || ! command -v dpkg-query >/dev/null; then
  echo "test-windows.sh: the Windows build needs Debian's MinGW-w64 and wine; skipped" >&2
  exit 0
fi
source scripts/packages.sh
install_missing cmake make googletest g++-mingw-w64-x86-64-posix wine64 wine

build=${VORMI_WINDOWS_BUILD:-build-windows}
mkdir -p "$build"
build=$(realpath "$build")

# libvterm's source as this Debian release has it, fetched once into the build
# directory through apt lists of its own: the system's apt is left as it is,
# and no root is needed. The orig tarball is the whole source (Debian adds no
# patches to it).
fetch_libvterm() {
  local into=$1 apt=$build/apt codename
  [ -e "$into/include/vterm.h" ] && return 0
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$into"
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg]" \
    "http://deb.debian.org/debian $codename main" >"$apt/sources.list"
  local options=(-q -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent
    -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o Debug::NoLocking=1
    -o APT::Sandbox::User=root)
  apt-get "${options[@]}" update >/dev/null
  (cd "$apt" && apt-get "${options[@]}" source --download-only libvterm >/dev/null)
  tar -xf "$apt"/libvterm_*.orig.tar.* -C "$into" --strip-components=1
  rm -rf "$apt"
}
fetch_libvterm "$build/libvterm"

# Wine: a prefix inside the build directory, made once (about 10 s), never a
# display, no offer to install Mono or Gecko.
export WINEPREFIX=$build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
keeper=$build/wine-keeper
stop_wine() {
  wineserver -k 2>/dev/null || true
  rm -f "$keeper"
}
trap stop_wine EXIT
[ -e "$WINEPREFIX/system.reg" ] || wineboot --init </dev/null >/dev/null 2>&1
# One wine process alive for the whole run, so wine's services start once and
# stay, instead of once for each test program (2.6 s each) and holding ctest's
# output pipe. It waits for a line on a FIFO that it holds open itself, so the
# line never comes; its output goes to /dev/null, as does that of the services
# it starts. wineserver -k ends it.
rm -f "$keeper"
mkfifo "$keeper"
setsid wine cmd /c pause <>"$keeper" >/dev/null 2>&1 &
wine cmd /c exit </dev/null >/dev/null 2>&1

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DVORMI_REQUIRE_TESTS=ON -DVORMI_BENCH=OFF \
  -DVORMI_LIBVTERM_SOURCE="$build/libvterm" "$@"
cmake --build "$build" -j "$(cpu_count)"
# The one .exe runs on a bare Windows: the C and C++ runtimes are linked in, and
# it imports only from DLLs every Windows has (KERNEL32, and msvcrt or the UCRT).
imports=$(x86_64-w64-mingw32-objdump -p "$build/vormi.exe")
others=$(echo "$imports" | sed -n 's/^[[:space:]]*DLL Name: //p' |
  grep -viE '^(kernel32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\.dll$' || true)
if [ -n "$others" ]; then
  echo "test-windows.sh: vormi.exe imports from DLLs a bare Windows may lack:" $others >&2
  exit 1
fi
echo "test-windows.sh: vormi.exe imports from system DLLs only"

ctest --test-dir "$build" -j "$(cpu_count)" --output-on-failure
echo "test-windows.sh: the Windows build and tests took $SECONDS s"
