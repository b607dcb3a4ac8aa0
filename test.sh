#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine, builds with the sanitizers and runs every
# test: unit tests against the fake console and terminal tests of the real game in tmux,
# then a fuzzing run of the game (FUZZ_SECONDS, default 60).
# Then the same unit tests, cross-built for Windows, under wine.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
. "$root/scripts/setup.sh"
# clang and its sanitizer runtimes (libclang-rt) build the fuzzer; llvm symbolizes its reports.
# The install test packages the game (CPack's Depends needs file and dpkg-dev's
# dpkg-shlibdeps), lints the man page with groff and the package with lintian. strace makes the
# file tests' faults happen at the moment of a write, and shows what reaches the disk. asciinema
# prints the casts the game writes, in the terminal tests.
ensure_packages "${game_packages[@]}" googletest libgtest-dev tmux clang libclang-rt-14-dev llvm \
    dpkg-dev file groff-base lintian strace asciinema

build="$root/build-test"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DDOTMAZE_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$build"
ctest --output-on-failure -j"$(nproc)"

# The whole game under libFuzzer, on arbitrary maps, keys and random numbers.
"$root/fuzz/run.sh" "${FUZZ_SECONDS:-60}"

"$root/scripts/windows.sh"
