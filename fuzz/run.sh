#!/usr/bin/env bash
# Builds fuzz_game with clang, replays every earlier finding in fuzz/regressions/, then fuzzes
# for the given number of seconds (default 60). A crash is saved in fuzz/regressions/ and
# makes this script fail; new inputs go to a scratch copy of the corpus, not the repo.
#   fuzz/run.sh [seconds]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
seconds="${1:-60}"
build="$root/build-fuzz"
regressions="$here/regressions"

if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz/run.sh: clang++ is missing (Debian: clang and libclang-rt-14-dev)" >&2
    exit 1
fi
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DDOTMAZE_FUZZ=ON -DDOTMAZE_TESTS=OFF >/dev/null
cmake --build "$build" --target fuzz_game -j"$(nproc)" >/dev/null
fuzzer="$build/fuzz/fuzz_game"

export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

mkdir -p "$regressions"
findings=()
for file in "$regressions"/*; do
    if [ -f "$file" ] && [ "$(basename "$file")" != .gitkeep ]; then findings+=("$file"); fi
done
if [ ${#findings[@]} -gt 0 ]; then
    echo "fuzz/run.sh: replaying ${#findings[@]} earlier finding(s)"
    "$fuzzer" "${findings[@]}" >/dev/null 2>"$build/replay.log" || {
        cat "$build/replay.log" >&2
        echo "fuzz/run.sh: an earlier finding fails again" >&2
        exit 1
    }
fi

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cp "$here"/corpus/* "$scratch"/

log="$build/fuzz.log"
status=0
"$fuzzer" "$scratch" "$regressions" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$regressions/" \
    >"$log" 2>&1 || status=$?

runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
echo "fuzz/run.sh: ${runs:-?} executions in about $seconds s (log: $log)"
if [ "$status" -ne 0 ]; then
    tail -n 60 "$log" >&2
    echo "fuzz/run.sh: the fuzzer found a fault (exit $status); the input is in $regressions/" >&2
    exit 1
fi
