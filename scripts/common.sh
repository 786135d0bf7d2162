# Shared steps of the project scripts: install what the build needs, configure and build.
# Sourced, not run.

VISAGIO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VISAGIO_PACKAGES=(cmake g++ make pkg-config qtbase5-dev qtbase5-dev-tools libopencv-dev
    libopencv-contrib-dev opencv-data oxygen-icon-theme libgtest-dev libgmock-dev libeigen3-dev
    xvfb xauth x11-apps xdotool imagemagick qttools5-dev qttools5-dev-tools desktop-file-utils appstream
    dpkg-dev libpam0g-dev libsystemd-dev gettext procps)

# Installs the Debian packages that are missing (as root, or through sudo).
install_packages() {
    local missing=()
    for p in "${VISAGIO_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# build_project DIR [cmake options...]: configures (once) and builds with two jobs.
build_project() {
    local dir=$1
    shift
    cmake -S "$VISAGIO_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j2
}
