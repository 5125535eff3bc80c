# Sourced by run.sh and test.sh: installs the Debian packages that Orvel builds and tests with.
ORVEL_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libmozjs-102-dev
  libcurl4-openssl-dev libfontconfig-dev libgtest-dev clang-format dbus xvfb xauth python3 python3-dbus xdotool python3-xlib
  libglib2.0-bin dpkg-dev librsvg2-bin desktop-file-utils appstream lintian x11-utils)

orvel_install_deps() {
  local missing=()
  for p in "${ORVEL_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}
