# Debian packages the project needs to build, test and demonstrate; sourced by scripts.
TARVO_PACKAGES=(
    build-essential cmake ninja-build pkg-config git
    libgtest-dev libgmock-dev libbenchmark-dev
    libsqlite3-dev sqlite3
    ntfs-3g ntfs-3g-dev dosfstools mtools
    libwxgtk3.2-dev xvfb xauth tzdata
)

tarvo_install_packages() {
    local missing=()
    for p in "${TARVO_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "== installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
