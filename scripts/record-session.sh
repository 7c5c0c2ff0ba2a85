#!/usr/bin/env bash
# Builds the Release binary and records a scripted session of it into FILE
# (default build/session.bytes): every byte the game writes to its terminal,
# with its clocks moved on only by the recorder, so two recordings of the same
# behaviour are byte for byte the same (compare them with cmp).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${VORMI_RECORD_BUILD:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVORMI_REQUIRE_TESTS=ON >/dev/null
cmake --build "$build" -j 2 --target vormi record_session >/dev/null
library=$(find /usr/lib* -name libfaketime.so.1 -print -quit)
[ -n "$library" ] || { echo "libfaketime is missing (Debian package faketime)" >&2; exit 1; }
out=$(realpath -m "${1:-$build/session.bytes}")
"$build/tests/record_session" "$(realpath "$build/vormi")" "$library" "$out"
