#!/usr/bin/env bash
# Builds a hardened Release tree for /usr in build-package/ and makes the Debian package and
# the tarball there with CPack, then prints their names:
#     scripts/package.sh
#     sudo apt install ./build-package/dotmaze_*.deb
# The Windows zip comes from the cross-build instead: `cpack -G ZIP` in its build tree.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/setup.sh"
# The package's Depends is worked out from the binary: CPack finds the binaries with file(1)
# and asks dpkg-dev's dpkg-shlibdeps for the packages of their libraries.
ensure_packages "${game_packages[@]}" dpkg-dev file

build="$root/build-package"
# Hardened and optimised as Debian builds its packages (-O2 for the fortified calls); CPack
# strips the binary it packs.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDOTMAZE_TESTS=OFF \
    -DDOTMAZE_HARDEN=ON -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DDOTMAZE_FROM_BUILD_TREE=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
# Packages of an earlier version are gone, so that dotmaze_*.deb names one file.
rm -f "$build"/dotmaze_*.deb "$build"/dotmaze-*.tar.gz
if ! (cd "$build" && cpack -G "DEB;TGZ") >"$build/cpack.log" 2>&1; then
    cat "$build/cpack.log" >&2
    echo "package.sh: CPack failed" >&2
    exit 1
fi

for package in "$build"/dotmaze_*.deb "$build"/dotmaze-*.tar.gz; do
    [ -f "$package" ] || { echo "package.sh: CPack made no $package" >&2; exit 1; }
    echo "build-package/${package##*/}"
done
