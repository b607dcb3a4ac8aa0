#!/usr/bin/env bash
# Builds dotmaze (installing what is missing) and starts a game on MAP, by default the
# shipped maps/mapa.txt; several maps are played in turn as levels (./play.sh maps/*.txt).
#   ./play.sh [MAP]...
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"

usage() { echo "Usage: ./play.sh [MAP]...   (default: $root/maps/mapa.txt)"; }
case "${1:-}" in
-h | --help)
    usage
    exit 0
    ;;
esac
# Every argument goes on to the game; each MAP as a full path, read from where the user typed
# it, and an option (--check, say) as it is.
[ $# -gt 0 ] || set -- "$root/maps/mapa.txt"
args=()
for arg in "$@"; do
    [[ $arg == /* || $arg == -* ]] || arg="$PWD/$arg"
    args+=("$arg")
done

. "$root/scripts/setup.sh"
echo "play.sh: checking the packages the build needs"
ensure_packages "${game_packages[@]}"

echo "play.sh: configuring the build in $root/build"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DDOTMAZE_TESTS=OFF >/dev/null

echo "play.sh: building the game"
cmake --build "$root/build" -j"$(nproc)"

echo "play.sh: starting the game on ${args[*]}"
exec "$root/build/dotmaze" "${args[@]}"
