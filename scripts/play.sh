#!/usr/bin/env bash
# Installs what the build needs when it is missing (a C++ compiler, CMake,
# make; see scripts/packages.sh), builds the game in Release mode under build/ (only what changed), and
# starts it from the caller's directory, where its highscores.txt is kept.
#   bash scripts/play.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/packages.sh"

if ! command -v c++ >/dev/null || ! command -v cmake >/dev/null || ! command -v make >/dev/null; then
  install_missing g++ cmake make
fi

build=$root/build
# Configured once; later runs only bring the binary up to date.
if ! grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$build/CMakeCache.txt" 2>/dev/null; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVORMI_TESTS=OFF -DVORMI_BENCH=OFF
fi
cmake --build "$build" --target vormi -j "$(cpu_count)"
exec "$build/vormi" "$@"
