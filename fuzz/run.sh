#!/usr/bin/env bash
# Builds the fuzz targets with clang, replays every earlier finding in fuzz/regressions/, then
# fuzzes for the given number of seconds (default 60), shared between fuzz_game (maps, keys,
# random numbers) and fuzz_replay (replay files). A crash is saved in fuzz/regressions/ (a
# replay's as replay-*) and makes this script fail. Each target's corpus grows outside the
# repo, in FUZZ_CORPUS (default ~/.cache/dotmaze/fuzz), with fuzz/corpus/ and
# fuzz/replay_corpus/ as seeds, so that long runs build on each other.
#   fuzz/run.sh [seconds]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
seconds="${1:-60}"
build="$root/build-fuzz"
regressions="$here/regressions"
corpora="${FUZZ_CORPUS:-${XDG_CACHE_HOME:-$HOME/.cache}/dotmaze/fuzz}"

if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz/run.sh: clang++ is missing (Debian: clang and libclang-rt-14-dev)" >&2
    exit 1
fi
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DDOTMAZE_FUZZ=ON -DDOTMAZE_TESTS=OFF >/dev/null
cmake --build "$build" --target fuzz_game fuzz_replay -j"$(nproc)" >/dev/null

export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
mkdir -p "$regressions"

# fuzz TARGET SEEDS PREFIX SECONDS: earlier findings named PREFIX*, then a run on the corpus.
fuzz() {
    local target=$1 seeds=$2 prefix=$3 time=$4
    local fuzzer="$build/fuzz/$target" corpus="$corpora/$target" file
    local findings=()
    for file in "$regressions/$prefix"*; do
        [ -f "$file" ] || continue
        case "$(basename "$file")" in .gitkeep) continue ;; replay-*) [ -n "$prefix" ] || continue ;; esac
        findings+=("$file")
    done
    if [ ${#findings[@]} -gt 0 ]; then
        echo "fuzz/run.sh: $target replays ${#findings[@]} earlier finding(s)"
        "$fuzzer" "${findings[@]}" >/dev/null 2>"$build/$target-replay.log" || {
            cat "$build/$target-replay.log" >&2
            echo "fuzz/run.sh: an earlier finding fails again" >&2
            exit 1
        }
    fi

    # New inputs go into the first folder; the seeds are read as they are in the repo.
    mkdir -p "$corpus"
    local log="$build/$target.log" status=0
    "$fuzzer" "$corpus" "$seeds" -max_total_time="$time" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$regressions/$prefix" >"$log" 2>&1 || status=$?
    local runs
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
    echo "fuzz/run.sh: $target: ${runs:-?} executions in about $time s," \
        "$(ls "$corpus" | wc -l) inputs in $corpus (log: $log)"
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log" >&2
        echo "fuzz/run.sh: $target found a fault (exit $status); the input is in $regressions/" >&2
        exit 1
    fi
}

fuzz fuzz_game "$here/corpus" "" $((seconds - seconds / 2))
fuzz fuzz_replay "$here/replay_corpus" replay- $((seconds / 2))
