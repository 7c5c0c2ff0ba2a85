#!/usr/bin/env bash
# Installs what the tests need when it is missing, builds everything with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test. Options
# for CMake may follow, e.g. -DVORMI_PORTABLE_WAIT=ON (with VORMI_TEST_BUILD
# naming another build directory).
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
