#!/usr/bin/env bash
# Builds dotmaze (installing what is missing) and starts a game on MAP, by default the
# shipped maps/mapa.txt.
#   ./play.sh [MAP]
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"

usage() { echo "Usage: ./play.sh [MAP]   (default: $root/maps/mapa.txt)"; }
case "${1:-}" in
-h | --help)
    usage
    exit 0
    ;;
esac
if [ $# -gt 1 ]; then
    usage >&2
    exit 2
fi
# The user's MAP as a full path, read from where they typed it (this also keeps a name that
# starts with "-" from passing for an option).
map="${1:-$root/maps/mapa.txt}"
[[ $map == /* ]] || map="$PWD/$map"

. "$root/scripts/setup.sh"
echo "play.sh: checking the packages the build needs"
ensure_packages "${game_packages[@]}"

echo "play.sh: configuring the build in $root/build"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DDOTMAZE_TESTS=OFF >/dev/null

echo "play.sh: building the game"
cmake --build "$root/build" -j"$(nproc)"

echo "play.sh: starting the game on $map"
exec "$root/build/dotmaze" "$map"
