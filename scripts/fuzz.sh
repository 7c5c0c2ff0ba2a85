#!/usr/bin/env bash
# Builds every fuzz target under fuzz/ with clang, libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer, and runs each for SECONDS (default 20) from
# its seed corpus in fuzz/corpus/<target>/. Exits non-zero on any finding: a
# crash, a sanitizer report or a broken invariant. The input of a finding is
# kept under the build directory (artifacts/), to be added to the corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
[[ $seconds =~ ^[0-9]+$ ]] || { echo "usage: scripts/fuzz.sh [SECONDS]" >&2; exit 2; }

source scripts/packages.sh
# libclang-rt-14-dev holds libFuzzer and the sanitizer runtimes.
install_missing cmake make pkg-config clang libclang-rt-14-dev libvterm-dev

build=${VORMI_FUZZ_BUILD:-build-fuzz}
cxx=$(command -v clang++ || command -v clang++-14)
cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j 2

failed=()
for source in fuzz/*_fuzz.cpp; do
  target=$(basename "$source" .cpp)
  corpus=fuzz/corpus/$target
  # New inputs go to a scratch corpus; the seeds in the repository stay as they are.
  work="$build/work/$target"
  artifacts="$build/artifacts/$target"
  rm -rf "$work"
  mkdir -p "$work" "$artifacts"
  echo "fuzz.sh: $target for $seconds s"
  if ! "$build/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$artifacts/" "$work" $([ -d "$corpus" ] && echo "$corpus") \
      >"$build/$target.log" 2>&1; then
    tail -n 40 "$build/$target.log"
    failed+=("$target")
  else
    grep -E '^stat::number_of_executed_units|^Done' "$build/$target.log" || true
  fi
done

if ((${#failed[@]})); then
  echo "fuzz.sh: findings in ${failed[*]} (inputs under $build/artifacts/)" >&2
  exit 1
fi
echo "fuzz.sh: no findings"
