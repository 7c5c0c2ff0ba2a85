#!/usr/bin/env bash
# Checks that every C++ file is laid out as .clang-format says; with --fix,
# lays them out so instead. Needs clang-format 16 or later (Debian's
# clang-format-16): its brace rule is not in earlier ones.
set -euo pipefail
cd "$(dirname "$0")/.."

format=""
for candidate in clang-format-16 clang-format-17 clang-format-18 clang-format-19 clang-format; do
  if command -v "$candidate" >/dev/null; then
    version=$("$candidate" --version | sed -n 's/.*version \([0-9]*\).*/\1/p')
    if [ "${version:-0}" -ge 16 ]; then
      format=$candidate
      break
    fi
  fi
done
[ -n "$format" ] || { echo "check-format: clang-format 16 or later is needed (Debian: clang-format-16)" >&2; exit 2; }

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
  # Twice: a brace taken away can let a line join the one above it.
  "$format" -i "${files[@]}"
  "$format" -i "${files[@]}"
  exit 0
fi
if ! "$format" --dry-run --Werror "${files[@]}" 2>"${TMPDIR:-/tmp}/check-format.$$"; then
  grep -E '^[^ ].*: error' "${TMPDIR:-/tmp}/check-format.$$" | head -20
  rm -f "${TMPDIR:-/tmp}/check-format.$$"
  echo "check-format: run bash scripts/check-format.sh --fix" >&2
  exit 1
fi
rm -f "${TMPDIR:-/tmp}/check-format.$$"
echo "check-format: ${#files[@]} files laid out as .clang-format says"
