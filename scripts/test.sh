#!/usr/bin/env bash
# Installs what the tests need when it is missing, builds everything with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test; then
# the Windows build and its tests under wine (scripts/test-windows.sh; on
# Debian and Ubuntu only; VORMI_TEST_WINDOWS=0 leaves it out). Options for
# CMake may follow, e.g. -DVORMI_PORTABLE_WAIT=ON (with VORMI_TEST_BUILD naming
# another build directory); they are for this system's build only.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/packages.sh
# faketime: the end-to-end tests freeze the calendar with it; strace:
# bench_frame_output counts the system calls of a running game with it (Linux
# only; elsewhere that benchmark says it is missing).
install_missing cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libvterm-dev faketime strace

build=${VORMI_TEST_BUILD:-build-test}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DVORMI_SANITIZE=ON -DVORMI_REQUIRE_TESTS=ON "$@"
cmake --build "$build" -j "$(cpu_count)"
ctest --test-dir "$build" -j "$(cpu_count)" --output-on-failure
# The Windows run compares its screens with the ones this run's end-to-end tests wrote.
[ "${VORMI_TEST_WINDOWS:-1}" = 0 ] ||
  bash scripts/test-windows.sh -DVORMI_LINUX_SCREENS="$(realpath "$build")/screens"
