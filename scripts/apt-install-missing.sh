# Sourced by the install scripts: apt_install_missing PACKAGE... installs,
# with apt-get, those of the packages that are not installed yet. Installing
# packages needs root: run as root, the script calls apt-get itself; run as
# another user, it calls apt-get through sudo, which asks for that user's
# password (and fails, saying so, where sudo is not set up).
apt_install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local as_root=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
      echo "missing packages: ${missing[*]}; install them as root (apt-get install), or install sudo" >&2
      return 1
    fi
    echo "installing with sudo (root is needed for apt-get): ${missing[*]}"
    as_root=(sudo DEBIAN_FRONTEND=noninteractive)
  else
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
  fi
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
