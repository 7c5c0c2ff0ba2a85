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
stop_busy() {
  for pid in "${busy[@]}"; do kill "$pid" 2>/dev/null; done
  wait "${busy[@]}" 2>/dev/null
  busy=()
}
trap stop_busy EXIT
trap 'exit 130' INT TERM
for _ in 1 2; do
  yes >/dev/null &
  busy+=("$!")
done

log=$(mktemp)
failed_runs=0
declare -A failed_tests=()
for ((run = 1; run <= runs; run++)); do
  if ctest --test-dir "$build" -j4 --output-on-failure >"$log" 2>&1; then
    echo "run $run: passed"
  else
    failed_runs=$((failed_runs + 1))
    names=$(sed -n '/The following tests FAILED/,$ s/^[[:space:]]*[0-9]* - \(.*\) (.*)$/\1/p' "$log")
    echo "run $run: FAILED: ${names:-see the ctest output}" | tr '\n' ' '
    echo
    cp "$log" "$build/stress-run-$run.log"
    while read -r name; do
      [ -n "$name" ] && failed_tests[$name]=$((${failed_tests[$name]:-0} + 1))
    done <<<"$names"
  fi
done
rm -f "$log"

echo "$failed_runs of $runs runs failed"
for name in "${!failed_tests[@]}"; do
  echo "  $name: failed in ${failed_tests[$name]} runs"
done
[ "$failed_runs" -eq 0 ]
