# Shared by tools/run and tools/test: install missing Debian packages, configure and build.

# Packages needed to build and run Quelmint.
QUELMINT_RUN_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-qpa-plugins
  libpcap-dev libgtest-dev libcap2-bin fonts-dejavu-core)
# Extra packages the test suite needs: capture tools, namespaces, a virtual display.
QUELMINT_TEST_PACKAGES=(tcpdump tshark iproute2 iputils-ping python3 curl procps xvfb xauth
  imagemagick x11-utils dbus-daemon)

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

# build_tree DIR: configures (Release, Ninja) and builds the whole tree into DIR.
build_tree() {
  local dir=$1
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$dir"
}
