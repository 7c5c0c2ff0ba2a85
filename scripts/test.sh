#!/usr/bin/env bash
# Installs what the tests need when it is missing, builds everything with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

# faketime: the end-to-end tests freeze the calendar with it; strace:
# bench_frame_output counts the system calls of a running game with it.
packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libvterm-dev faketime strace)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if ((${#missing[@]})); then
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "test.sh: missing ${missing[*]}; run as root or install sudo" >&2; exit 1; }
    sudo=(sudo)
  fi
  # Through env: sudo drops the caller's environment, DEBIAN_FRONTEND with it.
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

build=${VORMI_TEST_BUILD:-build-test}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DVORMI_SANITIZE=ON -DVORMI_REQUIRE_TESTS=ON
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" -j "$(nproc)" --output-on-failure
