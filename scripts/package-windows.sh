#!/usr/bin/env bash
# Builds the Windows download vormi-<version>-windows-x86_64.zip into the
# checkout's top directory: vormi.exe from build-windows/ (VORMI_WINDOWS_BUILD
# names another; configured with cmake/mingw-w64-x86_64.cmake when it is not
# yet, and vormi.exe built or brought up to date), a README.txt for the
# player and the licence as LICENSE.txt, both with CR LF line ends. The same
# commit gives the same zip: every file dated the commit's time (UTC), stored
# in a fixed order and mode, without zip's extra fields (-X). Needs Debian's
# MinGW-w64; elsewhere it says so and ends.
#   bash scripts/package-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v apt-get >/dev/null || ! command -v dpkg-query >/dev/null; then
  echo "package-windows.sh: the Windows build needs Debian's MinGW-w64" >&2
  exit 1
fi
source scripts/packages.sh
install_missing cmake make g++-mingw-w64-x86-64-posix zip

version=$(sed -n 's/^project(vormi VERSION \([^ )]*\).*/\1/p' CMakeLists.txt)
build=${VORMI_WINDOWS_BUILD:-build-windows}
[ -e "$build/CMakeCache.txt" ] ||
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DVORMI_BENCH=OFF
cmake --build "$build" --target vormi -j "$(cpu_count)"

zip=vormi-$version-windows-x86_64.zip
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$build/vormi.exe" "$stage/vormi.exe"
crlf() { sed 's/\r$//; s/$/\r/'; }
crlf <packaging/copyright >"$stage/LICENSE.txt"
title="vormi $version for Windows 10 and 11 (64-bit)"
crlf >"$stage/README.txt" <<EOF
$title
${title//?/=}

Steer the vormi around a walled board: it grows with each piece of food and
speeds up as the score rises. The five best scores are kept.

vormi.exe needs nothing else: copy it anywhere and start it.

Starting it
-----------

- Double click vormi.exe: a console window opens (the classic console, or
  Windows Terminal where that is the default terminal) and the game starts
  in the folder that holds vormi.exe. The window closes when the game ends.
- From cmd: go to the folder where the scores should be kept and start it
  by its path, e.g. C:\\Games\\vormi.exe (or just vormi when its folder is on
  the PATH).
- From PowerShell: the same, or .\\vormi.exe in its own folder.
- In Windows Terminal: from any of its cmd or PowerShell tabs, as above.

The window must show at least 80 columns and 24 rows; in a smaller one the
game says so and ends. The glyphs need a console font with block
characters: Consolas, Cascadia Mono and Lucida Console have them.

Where the scores are kept
-------------------------

In highscores.txt in the current folder: the folder that holds vormi.exe
when it is started by a double click, the folder cmd or PowerShell is in
otherwise. It must be a folder the player may write (C:\\Program Files is
not one): where the table cannot be made the game says so and ends at once,
and where it cannot be written a score is not saved and the game says why.

Keys
----

Arrow keys steer; P or Esc pauses. Ctrl+C or Ctrl+Break ends the game at
once (the console is given back as it was; no score is saved); so does
closing the window. Ctrl+Z does nothing.

Licence
-------

See LICENSE.txt.
EOF

# Fixed dates, modes and order: the zip depends on the files' bytes alone.
stamp=$(TZ=UTC git log -1 --format=%cd --date=format-local:%Y%m%d%H%M.%S 2>/dev/null || echo 202601010000.00)
chmod 0755 "$stage/vormi.exe"
chmod 0644 "$stage/README.txt" "$stage/LICENSE.txt"
TZ=UTC touch -t "$stamp" "$stage"/*
rm -f "$zip"
(cd "$stage" && TZ=UTC zip -X -D -q -9 "$OLDPWD/$zip" vormi.exe README.txt LICENSE.txt)
echo "package-windows.sh: built $zip"
