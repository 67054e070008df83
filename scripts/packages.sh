# The Debian packages that building and testing need; sourced by the scripts.
ZARNEK_PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev tmux socat
                 busybox-static inetutils-telnetd ncurses-term clang libclang-rt-14-dev
                 dialog vim less nano tig git
                 mingw-w64 wine wine64 googletest groff-base bsdextrautils)

missing_packages() {
    local p
    for p in "${ZARNEK_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
    done
}

ensure_packages() {
    local missing
    missing=$(missing_packages | tr '\n' ' ')
    [ -z "${missing// /}" ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing Debian packages: $missing" >&2
        echo "install them (as root: apt-get install $missing) and run again" >&2
        return 1
    fi
    echo "installing: $missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq $missing >/dev/null
}
