#!/usr/bin/env bash
# The real dotmaze.exe on a console, end to end, under wine.
#
#     tests/windows/end_to_end.sh BUILD_DIR
#
# Wine gives a program a console only in a terminal, so each run is in a detached tmux pane;
# scripts/windows.sh sets up wine's environment first. Most scenarios are played by
# console_driver.exe, which starts the game on its own console and reports to a file. The
# ones about a console the game has to itself (as when started from Explorer) run the game
# directly in the pane, where it is the console's only process, and type with tmux.
set -uo pipefail
build=$1
wine=${WINE:-/usr/lib/wine/wine64}
wineserver=${WINESERVER:-/usr/lib/wine/wineserver64}
unset TMUX

work=$(mktemp -d "${TMPDIR:-/tmp}/dotmaze-windows.XXXXXX")
sock="dotmaze-windows-$$"
cleanup() {
    tmux -L "$sock" kill-server 2>/dev/null
    "$wineserver" -k 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
# One wine server for all the runs, started afresh: a program started while the last one's
# server is shutting down can hang.
"$wineserver" -k 2>/dev/null
"$wineserver" -w
"$wineserver" -p || exit 1
cp "$build/dotmaze.exe" "$build/tests/console_driver.exe" "$work/" || exit 1

passed=0 failed=0
pass() {
    echo "pass $1"
    passed=$((passed + 1))
}
fail() {
    echo "FAIL $1: $2"
    failed=$((failed + 1))
}

# start_pane COLS ROWS PROGRAM ARGS...: runs the program under wine, in the work folder, in a
# fresh pane of that size; its exit status goes to the file "status" once it ends.
start_pane() {
    local cols=$1 rows=$2
    shift 2
    tmux -L "$sock" kill-server 2>/dev/null
    rm -f "$work/status"
    tmux -L "$sock" new-session -d -x "$cols" -y "$rows" -s pane -c "$work" \
        "$(printf '%q ' "$wine" "$@")"'; echo $? >status.new && mv status.new status; sleep 900'
}

# wait_until SECONDS COMMAND...: true once the command succeeds, false after SECONDS.
wait_until() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.2
    done
}

ended() {
    [ -s "$work/status" ]
}

status() {
    cat "$work/status" 2>/dev/null
}

screen() {
    tmux -L "$sock" capture-pane -p -t pane
}

shows() {
    screen | grep -qF -- "$1"
}

# ---- the driver's scenarios ----------------------------------------------------------------

# run_driver COLS ROWS SCENARIO...
run_driver() {
    local cols=$1 rows=$2
    shift 2
    rm -f "$work/report"
    start_pane "$cols" "$rows" console_driver.exe report "$@"
    wait_until 300 ended || echo "the driver did not finish in 300 s" >&2
    local scenario verdict name why
    for scenario in "$@"; do
        # The first word is the verdict, the second the scenario's name, the rest why (the
        # walls, byte 176, shown as #).
        read -r verdict name why < <(tr -d '\r' <"$work/report" 2>/dev/null | tr '\260' '#' | grep -aE "^(pass|fail) $scenario(:|$)")
        case "${verdict:-}" in
        pass) pass "$scenario" ;;
        fail) fail "$scenario" "$why" ;;
        *) fail "$scenario" "no result from the driver (status $(status))" ;;
        esac
    done
}

# Scenarios that need room: a 100 x 50 pane.
run_driver 100 50 first_frame moves_and_eating win_once missing_map escape_gives_back \
    ctrl_c_gives_back ctrl_c_keeps_the_replay grows_and_shrinks_back escape_jumps_the_queue \
    editor_saves
# A pane of 30 rows: the console cannot be made tall enough.
run_driver 100 30 refused_when_too_small
# The driver leaves the game alone on the console, as if started from Explorer.
run_driver 100 50 own_console_ending own_console_escape

# ---- a console of the game's own -----------------------------------------------------------

# Started directly in the pane, the game is its console's only process, as when started from
# Explorer: the window stays, with the refusal in it, until a key is pressed. (Wine reads the
# terminal's keys only for a program that waits for one, so tmux can type here but not into
# the game; the driver covers the endings.)
own_console_refusal() {
    start_pane 100 45 dotmaze.exe no-such-map.txt
    wait_until 60 shows "Press any key to close this window." ||
        { fail "$1" "no \"Press any key\" line: $(screen | grep -v '^ *$' | head -3)" && return; }
    shows 'cannot open "no-such-map.txt"' || { fail "$1" "no message" && return; }
    sleep 1
    ! ended || { fail "$1" "ended without waiting for a key" && return; }
    tmux -L "$sock" send-keys -t pane x
    wait_until 20 ended || { fail "$1" "a key did not close it" && return; }
    [ "$(status)" = 1 ] || { fail "$1" "status $(status), expected 1" && return; }
    pass "$1"
}
own_console_refusal own_console_refusal

# ---- no console at all -----------------------------------------------------------------------

# A replay written as an asciicast needs no console: the whole game, its walls in UTF-8.
cast_to_standard_output() {
    cp "$(dirname "$0")/../replays/caught_three_times.replay" "$work/" || return
    (cd "$work" && "$wine" dotmaze.exe --replay caught_three_times.replay --cast - \
        </dev/null >out.cast 2>err) || { fail "$1" "status $?: $(cat "$work/err")" && return; }
    head -n 1 "$work/out.cast" | grep -qF '{"version": 2, "width": 80, "height": 41' ||
        { fail "$1" "no asciicast header: $(head -c 80 "$work/out.cast")" && return; }
    grep -q 'GAME OVER!' "$work/out.cast" && grep -q $'\xe2\x96\x91' "$work/out.cast" ||
        { fail "$1" "no game over, or no walls, in the cast" && return; }
    pass "$1"
}
cast_to_standard_output cast_to_standard_output

echo "windows end to end: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
