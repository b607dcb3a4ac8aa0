#!/usr/bin/env bash
# Measures the real game from the outside: builds the Release game and a small pty driver,
# runs the game on the shipped map in an 80x45 pseudo-terminal, and prints one table of its
# output rate, CPU, memory, tick steadiness, key latency and start-up time, for 10 s idle
# and 10 s with a key every 50 ms, then the map editor's answer to a key for 10 s; then the
# editor's own costs in process (a live check, a key's whole work). Takes about 40 s after
# the build.
#
#   bench/run.sh [--phase-seconds S] [--starts N] [--dump FILE]
#
# --dump FILE keeps everything the game wrote in the main run, with timestamps.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/setup.sh"
ensure_packages "${game_packages[@]}"

build="$root/build-bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDOTMAZE_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target dotmaze edit_bench >/dev/null
# forkpty is in libc on current glibc and in libutil on older ones; -lutil works for both.
g++ -std=c++20 -O2 -Wall -Wextra -o "$build/ptybench" "$root/bench/ptybench.cpp" -lutil

# The driver kills the game on any way out and has its own alarm; this is a last guard.
driver=""
cleanup() { [ -n "$driver" ] && kill "$driver" 2>/dev/null || true; }
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
timeout --kill-after=5 120 "$build/ptybench" "$build/dotmaze" "$root/maps" "$@" &
driver=$!
wait "$driver"
echo
"$build/edit_bench" "$root/maps/mapa.txt"
