# Shared by scripts/run and scripts/test: installs the Debian packages the build,
# the program and the tests need, when any is missing.
TILLVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

TILLVANE_PACKAGES=(
  build-essential cmake pkg-config git
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libjpeg62-turbo-dev libcups2-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  cups-daemon cups-client cups
  fonts-wqy-microhei fonts-dejavu-core
  libfreetype-dev libpng-dev libsystemd-dev systemd
  xvfb x11-apps imagemagick xauth
  fuse3 libfuse3-dev
  clang libclang-rt-14-dev
  socat
  libzint-dev zbar-tools libzxing-dev
  librsvg2-bin desktop-file-utils appstream man-db file
  qt6-l10n-tools qt6-tools-dev qt6-translations-l10n
  dpkg-dev lintian x11-utils
)

tillvane_install_packages() {
  local missing=()
  for p in "${TILLVANE_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# tillvane_build DIR [cmake options...]: configure (once) and build.
tillvane_build() {
  local dir=$1
  shift
  cmake -S "$TILLVANE_ROOT" -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}
