#!/usr/bin/env bash
# What the game's files cost at their worst: builds the Release game and prints, for the most
# costly files of each kind at its size limit, the peak resident memory and the time of the
# command that reads them (the best of three runs). Takes a few seconds after the build.
#
#   bench/files.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/setup.sh"
ensure_packages "${game_packages[@]}" time

build="$root/build-bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDOTMAZE_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target dotmaze >/dev/null
game="$build/dotmaze"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
limit=$((1024 * 1024))
header="dotmaze scores, format 1: format result seconds lives dots/total date board map"

# scores_file NAME AWK-BODY: a scores file of lines from AWK-BODY (given n, the line's number,
# it sets `line`) up to the 1 MiB limit, in its own state folder $work/NAME.
scores_file() {
    mkdir -p "$work/$1/dotmaze"
    awk -v header="$header" -v limit="$limit" "BEGIN {
        print header; size = length(header) + 1
        for (n = 0;; ++n) { $2; size += length(line) + 1; if (size > limit) break; print line }
    }" >"$work/$1/dotmaze/scores"
}

# row WHAT COMMAND...: a row of the table, the peak and the time of the best of three runs.
row() {
    local what=$1 best_s="" best_kb="" i out
    shift
    for i in 1 2 3; do
        /usr/bin/time -o "$work/time" -f '%M %e' "$@" >/dev/null 2>&1 || true # a refusal too
        out=$(tail -n 1 "$work/time")
        if [ -z "$best_s" ] || awk "BEGIN { exit !(${out#* } < $best_s) }"; then
            best_s=${out#* } best_kb=${out% *}
        fi
    done
    printf '| %s | %s MiB | %s s |\n' "$what" "$(awk "BEGIN { printf \"%.1f\", $best_kb / 1024 }")" \
        "$best_s"
}

# A damaged line is one span of text however short; a game takes its record, shortest when
# each is on a board of its own, with a one-byte damaged line between each two.
scores_file empty 'line = ""'
scores_file boards 'line = n % 2 ? "" : sprintf("1 won 0.000 0 0/0 d %016x m", n)'

echo "| the file, at its limit | peak resident memory | time |"
echo "|---|---|---|"
row "scores, 1 MiB of empty lines: \`dotmaze --scores\`" env XDG_STATE_HOME="$work/empty" "$game" --scores
row "scores, 1 MiB of games each on a board of its own, a damaged line after each: \`dotmaze --scores\`" \
    env XDG_STATE_HOME="$work/boards" "$game" --scores

# A replay at its 16 MiB limit, read and refused at once for want of a terminal: frames of one
# clock reading each, the most frames a file holds, and frames of long runs of random numbers,
# whose packed bytes come nearest to their text's.
replay_file() {
    local inputs
    inputs=$(grep -n '^inputs$' "$root/tests/replays/caught_three_times.replay" | cut -d: -f1)
    head -n "$inputs" "$root/tests/replays/caught_three_times.replay" >"$work/$1.replay"
    awk -v limit=$((16 * limit - 4096)) "BEGIN { $2; for (size = 0; size < limit; size += length(line) + 1) print line }" \
        >>"$work/$1.replay"
    echo "end escape" >>"$work/$1.replay"
}
replay_file clocks 'line = "0"'
replay_file randoms 'line = "r"; for (i = 0; i < 300; ++i) line = line "0v1"'
row "replay, 16 MiB of frames of one clock reading: \`dotmaze --replay\`" "$game" --replay "$work/clocks.replay"
row "replay, 16 MiB of frames of 300 random numbers: \`dotmaze --replay\`" "$game" --replay "$work/randoms.replay"
