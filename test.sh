#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine, builds with the sanitizers and runs every
# test: unit tests against the fake console and terminal tests of the real game in tmux.
# Then the same unit tests, cross-built for Windows, under wine.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
. "$root/scripts/setup.sh"
ensure_packages "${game_packages[@]}" googletest libgtest-dev tmux

build="$root/build-test"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DDOTMAZE_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$build"
ctest --output-on-failure -j"$(nproc)"

"$root/scripts/windows.sh"
