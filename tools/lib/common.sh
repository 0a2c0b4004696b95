# Shared by tools/run and tools/test: install missing Debian packages, configure and build.

# Packages needed to build and run Quelmint.
QUELMINT_RUN_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-qpa-plugins
  libpcap-dev libgtest-dev libcap2-bin fonts-dejavu-core fonts-liberation
  libxcb-xfixes0-dev)
# Extra packages the test suite needs: capture tools, namespaces, a virtual display.
QUELMINT_TEST_PACKAGES=(tcpdump tshark iproute2 iputils-ping python3 curl procps xvfb xauth
  imagemagick x11-utils locales xdotool
  dbus-daemon python3-scapy trayer strace libxcb1-dev)
# Locales the tests run under besides the machine's own (a decimal comma).
QUELMINT_TEST_LOCALES=(de_DE.UTF-8)
# What tools/package needs to build and check the Debian package: the icons' drawing, CPack's
# dependency scan, lintian and the desktop and AppStream validators. The tests build it too.
QUELMINT_PACKAGE_PACKAGES=(librsvg2-bin dpkg-dev file lintian desktop-file-utils
  appstream)
QUELMINT_TEST_PACKAGES+=("${QUELMINT_PACKAGE_PACKAGES[@]}")

# ensure_packages PKG...: installs the missing ones with apt-get (as root), or prints the line.
ensure_packages() {
  local missing=() p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local line="apt-get install -y --no-install-recommends ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages. Install them as root, then run this again:" >&2
    echo "  sudo apt-get update && sudo $line" >&2
    return 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# ensure_locales NAME...: generates the missing locales (as root), or says which are missing.
ensure_locales() {
  local missing=() l
  for l in "$@"; do
    locale -a 2>/dev/null | grep -qix "${l/UTF-8/utf8}" || missing+=("$l")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing locales (the tests run under them too): ${missing[*]}; generate them as root." >&2
    return 1
  fi
  for l in "${missing[@]}"; do
    sed -i "s/^# *${l} UTF-8/${l} UTF-8/" /etc/locale.gen
    grep -q "^${l} UTF-8" /etc/locale.gen || echo "${l} UTF-8" >>/etc/locale.gen
  done
  locale-gen >/dev/null
}

# build_tree DIR: configures (Release, Ninja) and builds the whole tree into DIR.
build_tree() {
  local dir=$1
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$dir"
}
