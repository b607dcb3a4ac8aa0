#!/usr/bin/env bash
# Builds dotmaze (installing what is missing) and starts a game on the shipped map.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
. "$root/scripts/setup.sh"
ensure_packages "${game_packages[@]}"

cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DDOTMAZE_TESTS=OFF >/dev/null
cmake --build "$root/build" -j"$(nproc)" >/dev/null

# The game reads mapa.txt from the directory it is started in.
cd "$root/maps"
exec "$root/build/dotmaze"
