#!/usr/bin/env bash
# Judges a built package as Debian does and as a player would: lintian shows
# every tag and fails on an error; then the package is unpacked into a scratch
# root with dpkg-deb -x and the unpacked game is played on a pseudo-terminal by
# the end-to-end test of the welcome screen, the menu, a game and the exit.
# Needs the test build (bash scripts/test.sh).
#   bash scripts/check-package.sh vormi_<version>_<arch>.deb
set -euo pipefail
deb=$(realpath "${1:?usage: scripts/check-package.sh PACKAGE.deb}")
cd "$(dirname "$0")/.."

source scripts/packages.sh
install_missing lintian
lintian --display-info --display-experimental --pedantic --fail-on error "$deb"
echo "check-package.sh: lintian found no error"

e2e=${VORMI_TEST_BUILD:-build-test}/tests/e2e_tests
[ -x "$e2e" ] || { echo "check-package.sh: no $e2e; run bash scripts/test.sh first" >&2; exit 1; }
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
# A filter that matched no test would pass quietly: the count is checked.
result=$(VORMI_GAME=$root/usr/games/vormi "$e2e" --gtest_filter=FrontEndToEnd.ThroughEveryScreenAndOutWithYes) ||
  { echo "$result"; exit 1; }
echo "$result"
grep -q '^\[  PASSED  \] 1 test\.' <<<"$result"
echo "check-package.sh: the unpacked game played through"
