#!/usr/bin/env bash
# Checks the include graph of src/: every include runs down the layers
# (front -> play -> scores -> console -> text; inside the console the
# operations -> device -> keys, screen, which never include each other), no
# header and its source take part in a circle, and only the device includes
# the system's terminal, signal and console headers. Prints each offence; exits 1 on any.
set -euo pipefail
cd "$(dirname "$0")/../src"

# The folder a file stands in, as its layer's name.
layer_of() { dirname "$1"; }

rank_of() {
  case "$1" in
    text) echo 0 ;;
    console/keys | console/screen) echo 1 ;;
    console/device) echo 2 ;;
    console) echo 3 ;;
    scores) echo 4 ;;
    play) echo 5 ;;
    front) echo 6 ;;
    *) echo "unknown layer: $1" >&2; exit 2 ;;
  esac
}

failures=0
offence() { echo "$1"; failures=$((failures + 1)); }

edges=$(mktemp)
trap 'rm -f "$edges"' EXIT

while IFS= read -r file; do
  from=$(layer_of "$file")
  from_rank=$(rank_of "$from")
  while IFS= read -r included; do
    [ -n "$included" ] || continue
    [ -f "$included" ] || { offence "$file: includes $included, which is not in src/"; continue; }
    to=$(layer_of "$included")
    to_rank=$(rank_of "$to")
    if [ "$from" != "$to" ] && [ "$to_rank" -ge "$from_rank" ]; then
      offence "$file ($from) includes $included ($to): not a lower layer"
    fi
    # A header and its source are one unit; a circle of units is a circle of purpose.
    echo "${file%.*} ${included%.*}" >>"$edges"
  done < <(sed -n 's/^#include "\(.*\)".*/\1/p' "$file")
  if [ "$from" != console/device ] &&
     grep -qE '^#include <(termios|sys/ioctl|poll|signal|csignal)\.?h?>' "$file"; then
    offence "$file: a terminal or signal header outside console/device"
  fi
  # Windows' own calls: the device, and the score store's file of Windows calls.
  if [ "$from" != console/device ] && [[ "$file" != *_windows.cpp ]] &&
     grep -qiE '^#include <windows\.h>' "$file"; then
    offence "$file: windows.h outside console/device and the files of Windows calls"
  fi
done < <(find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||' | sort)

# tsort reports a loop on standard error; a unit that includes its own header is no loop.
awk '$1 != $2' "$edges" | tsort >/dev/null 2>"$edges.loops" || true
if [ -s "$edges.loops" ]; then
  offence "a circle of includes: $(tr '\n' ' ' <"$edges.loops")"
fi
rm -f "$edges.loops"

if [ "$failures" -gt 0 ]; then
  echo "$failures offences against the layers" >&2
  exit 1
fi
echo "layers: every include runs down, no circle"
