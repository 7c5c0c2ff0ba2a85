# Sourced by the scripts that need Debian packages: install_missing NAME...
# installs those not yet installed (apt-get, through sudo when not root).
install_missing() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  ((${#missing[@]})) || return 0
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "$(basename "$0"): missing ${missing[*]}; run as root or install sudo" >&2; return 1; }
    sudo=(sudo)
  fi
  # Through env: sudo drops the caller's environment, DEBIAN_FRONTEND with it.
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}
