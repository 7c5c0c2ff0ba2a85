#!/usr/bin/env bash
# Judges the Windows download as a player gets it: the zip holds vormi.exe,
# README.txt and LICENSE.txt and nothing else, the two texts with CR LF line
# ends; unpacked into a fresh directory, its vormi.exe is run under wine in a
# pseudoconsole by tests/windows' console driver (built in build-windows/,
# VORMI_WINDOWS_BUILD names another) to the first screen and the menu, and
# ended with Ctrl+C, which must give the console back as found. Wine runs in
# the build directory's prefix, with no display.
#   bash scripts/check-package-windows.sh vormi-<version>-windows-x86_64.zip
set -euo pipefail
zip=$(realpath "${1:?usage: scripts/check-package-windows.sh vormi-VERSION-windows-x86_64.zip}")
cd "$(dirname "$0")/.."

source scripts/packages.sh
install_missing cmake make g++-mingw-w64-x86-64-posix wine64 wine unzip

fail() {
  echo "check-package-windows.sh: $*" >&2
  exit 1
}
root=$(mktemp -d)
build=${VORMI_WINDOWS_BUILD:-build-windows}
[ -e "$build/CMakeCache.txt" ] || fail "no $build; run bash scripts/package-windows.sh first"
build=$(realpath "$build")
export WINEPREFIX=$build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
# The server ended and waited for, so that no wine started after this one
# meets a server on its way out.
trap 'wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; rm -rf "$root"' EXIT
wineserver -w 2>/dev/null || true

files=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$files" = "LICENSE.txt README.txt vormi.exe " ] || fail "the zip holds $files"
unzip -q "$zip" -d "$root"
for text in README.txt LICENSE.txt; do
  # Every line ends in CR LF, the last one too.
  if grep -q $'[^\r]$\|^$' "$root/$text" || [ "$(tail -c 1 "$root/$text")" != "" ]; then
    fail "$text has a line not ending in CR LF"
  fi
done

cmake --build "$build" --target console_driver -j "$(cpu_count)" >/dev/null
[ -e "$WINEPREFIX/system.reg" ] || wineboot --init </dev/null >/dev/null 2>&1
game=$(winepath -w "$root/vormi.exe" 2>/dev/null)
# resize-ctrl-c: waits for "Press Any Key To Continue...", goes on to the
# menu, checks that the game waits without spinning and takes a new window
# size, then ends it with Ctrl+C ("-": the screens are printed, not compared).
wine "$build/tests/windows/console_driver.exe" "$game" resize-ctrl-c - </dev/null ||
  fail "the unpacked vormi.exe did not play through (the driver's messages above)"
echo "check-package-windows.sh: the unpacked vormi.exe showed its first screen and ended on Ctrl+C"
