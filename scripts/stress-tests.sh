#!/usr/bin/env bash
# Runs the whole suite N times at -j4 beside two busy processes, to show that
# no test depends on the machine's speed or on chance. Builds once, as CI does;
# prints how many runs failed and which tests; exits non-zero if any did.
#   scripts/stress-tests.sh N
set -uo pipefail
cd "$(dirname "$0")/.."

runs=${1:-}
if ! [[ "$runs" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 N  (the number of runs, at least 1)" >&2
  exit 2
fi

build=${VORMI_TEST_BUILD:-build-test}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DVORMI_SANITIZE=ON -DVORMI_REQUIRE_TESTS=ON >/dev/null || exit 1
cmake --build "$build" -j2 >/dev/null || { echo "stress-tests: the build failed" >&2; exit 1; }

busy=()
suite=
log=
stop() {
  [ -n "$suite" ] && kill -- "-$suite" 2>/dev/null  # ctest and the tests it runs
  [ -n "$log" ] && rm -f "$log"
  for pid in "${busy[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
}
trap stop EXIT
# The suite runs in the background, in a process group of its own, so that
# Ctrl+C stops the script at once, whatever ctest makes of the signal, and
# takes every test program down with it.
set -m
trap 'echo "stress-tests: interrupted" >&2; exit 130' INT TERM
for _ in 1 2; do
  yes >/dev/null &
  busy+=("$!")
done

log=$(mktemp)
failed_runs=0
declare -A failed_tests=()
for ((run = 1; run <= runs; run++)); do
  ctest --test-dir "$build" -j4 --output-on-failure >"$log" 2>&1 &
  suite=$!
  wait "$suite"
  status=$?
  suite=
  if [ "$status" -eq 0 ]; then
    echo "run $run: passed"
    continue
  fi
  failed_runs=$((failed_runs + 1))
  cp "$log" "$build/stress-run-$run.log"
  echo "run $run: FAILED (ctest output in $build/stress-run-$run.log):"
  # The summary's lines read "  12 - Suite.Name  # GetParam() = ... (Failed)".
  while read -r name; do
    [ -n "$name" ] || continue
    echo "  $name"
    failed_tests[$name]=$((${failed_tests[$name]:-0} + 1))
  done < <(sed -n '/The following tests FAILED/,$ s/^[[:space:]]*[0-9]* - \([^ ]*\).*(.*)$/\1/p' "$log")
done

echo "$failed_runs of $runs runs failed"
for name in "${!failed_tests[@]}"; do
  echo "  $name: failed in ${failed_tests[$name]} runs"
done
[ "$failed_runs" -eq 0 ]
