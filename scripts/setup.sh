# Sourced by play.sh and test.sh: installs the Debian packages a build needs, when missing.
#   ensure_packages PACKAGE...
ensure_packages() {
    local missing=()
    local pkg
    if ! command -v dpkg-query >/dev/null 2>&1 || ! command -v apt-get >/dev/null 2>&1; then
        for pkg in "$@"; do missing+=("$pkg"); done
        echo "This system has no apt-get. Please install the equivalents of these Debian packages" >&2
        echo "and run this script again: ${missing[*]}" >&2
        exit 1
    fi
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    echo "Installing: ${missing[*]}" >&2
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "Not root and no sudo: please install ${missing[*]} and run this script again." >&2
            exit 1
        fi
        sudo=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# What the game itself needs to build.
game_packages=(g++ make cmake libncurses-dev ncurses-base)
