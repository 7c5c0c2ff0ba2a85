# Sourced by the scripts that need packages: install_missing NAME... installs
# those not yet installed, each NAME as Debian calls it, with the system's own
# package manager: apt-get on Debian and Ubuntu (through sudo when not root),
# brew on macOS, pkg on FreeBSD (through sudo when not root). Elsewhere it
# says what is missing and stops. A tool the system has no package for
# (strace outside Linux; libfaketime on macOS, which cannot be preloaded
# there) is passed over: the tests that need it say so and skip.
#   cpu_count   prints how many processors to build with

cpu_count() { getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2; }

# What a Debian package is called by brew or pkg; nothing where the system
# brings it (the compiler and make) or has none.
package_for() {
  case "$1:$2" in
    brew:g++ | brew:make | brew:strace | brew:faketime | pkg:g++ | pkg:make | pkg:strace) ;;
    *:libgtest-dev | *:libgmock-dev) echo googletest ;;
    brew:libbenchmark-dev) echo google-benchmark ;;
    pkg:libbenchmark-dev) echo benchmark ;;
    *:libvterm-dev) echo libvterm ;;
    pkg:pkg-config) echo pkgconf ;;
    *:faketime) echo libfaketime ;;
    *) echo "$2" ;;
  esac
}

# Whether what a Debian package gives is here, asked of the commands and of
# pkg-config: for a system whose package manager is not known here.
present() {
  case "$1" in
    g++) command -v c++ >/dev/null ;;
    lib*-dev) local module=${1#lib}; pkg-config --exists "${module%-dev}" 2>/dev/null ;;
    strace) return 0 ;;
    *) command -v "$1" >/dev/null ;;
  esac
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo "$@"
  else
    echo "$(basename "$0"): run as root or install sudo, to install what is missing" >&2
    return 1
  fi
}

install_with_apt() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  ((${#missing[@]})) || return 0
  # Through env: sudo drops the caller's environment, DEBIAN_FRONTEND with it.
  as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}

# The names as the manager calls them, once each, with those already installed left out.
missing_for() {
  local manager=$1 installed=$2 name seen=" "
  shift 2
  for name in "$@"; do
    name=$(package_for "$manager" "$name")
    [ -n "$name" ] && [[ $seen != *" $name "* ]] || continue
    seen+="$name "
    $installed "$name" >/dev/null 2>&1 || echo "$name"
  done
}

install_with_brew() {
  if ! xcode-select -p >/dev/null 2>&1; then
    echo "$(basename "$0"): the compiler comes with the Xcode command line tools: run" \
      "'xcode-select --install', then this again" >&2
    return 1
  fi
  command -v brew >/dev/null || {
    echo "$(basename "$0"): install Homebrew (https://brew.sh), then run this again" >&2
    return 1
  }
  local missing
  missing=$(missing_for brew "brew list --formula --versions" "$@")
  [ -z "$missing" ] || brew install $missing
}

install_with_pkg() {
  local missing
  missing=$(missing_for pkg "pkg info -e" "$@")
  [ -z "$missing" ] || as_root pkg install -y $missing
}

install_missing() {
  if command -v apt-get >/dev/null && command -v dpkg-query >/dev/null; then
    install_with_apt "$@"
  elif [ "$(uname -s)" = Darwin ]; then
    install_with_brew "$@"
  elif [ "$(uname -s)" = FreeBSD ]; then
    install_with_pkg "$@"
  else
    local missing=() name
    for name in "$@"; do present "$name" || missing+=("$name"); done
    ((${#missing[@]})) || return 0
    echo "$(basename "$0"): this system's package manager is not known here; install what" \
      "these Debian packages give, then run this again: ${missing[*]}" >&2
    return 1
  fi
}
