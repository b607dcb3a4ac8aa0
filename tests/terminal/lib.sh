# Shared helpers for the terminal tests: each test runs the real game inside a private,
# detached tmux server and reads the screen back from the pane.
#
# A test sources this file with its own arguments:
#     source "$(dirname "$0")/lib.sh" "$@"     # $1 = the game, $2 = the maps directory
# and then calls term_setup before anything else.
#
# Screen positions are always (column, row), 0-based, as the game counts them.

set -u

if [ $# -lt 2 ]; then
    echo "usage: $0 <path-to-dotmaze> <path-to-maps-dir>" >&2
    exit 2
fi
GAME=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
MAPS_DIR=$2
[ -x "$GAME" ] || { echo "not an executable: $GAME" >&2; exit 2; }

# Bash counts characters, not bytes, in ${var:offset:length} only under a UTF-8 locale, and
# the board's walls are the three-byte U+2591.
export LC_ALL=C.UTF-8
unset TMUX

SHADE=$'\u2591'
POLL_S=0.05
DEFAULT_TIMEOUT_S=10

WORK=""
SOCK=""          # the running session's server
SOCK_BASE=""
SESSIONS_STARTED=0
SESSION=game
TERM_NAME=""
declare -a SCREEN=()
PANE_COLS=80
PANE_ROWS=45
STARS=0
NOW_MS=0
STATUS=""

# ---- set-up and teardown -------------------------------------------------------------------

# Ends the game's session and everything running in it, and its server.
stop_session() {
    [ -n "$SOCK" ] || return 0
    # The pane's shell leads its own process group: the game and the keep-alive sleep are in
    # it. Stop them by that id before the server goes, so nothing is left behind even if the
    # server does not hang up on them.
    local pid
    pid=$(tmux -L "$SOCK" display-message -p -t "$SESSION" '#{pane_pid}' 2>/dev/null)
    [ -n "$pid" ] && kill -TERM -- "-$pid" 2>/dev/null
    tmux -L "$SOCK" kill-server 2>/dev/null
    rm -f "${TMUX_TMPDIR:-/tmp}/tmux-$(id -u)/$SOCK"
    SOCK=""
}

teardown() {
    local rc=$?
    stop_session
    if [ -n "$WORK" ] && [ -d "$WORK" ]; then
        if [ -n "${KEEP_WORK:-}" ]; then
            echo "work directory kept: $WORK" >&2
        else
            rm -rf "$WORK"
        fi
    fi
    exit "$rc"
}

# term_setup NAME: a fresh work directory and a tmux socket no other test shares.
term_setup() {
    local name=$1
    WORK=$(mktemp -d "${TMPDIR:-/tmp}/dotmaze-$name.XXXXXX")
    SOCK_BASE="dotmaze-$name-$$-$RANDOM"
    trap teardown EXIT
    trap 'exit 130' INT TERM HUP

    # The pane must be described by a terminfo entry that exists here, or curses will refuse.
    local t
    for t in tmux-256color screen-256color screen; do
        if infocmp "$t" >/dev/null 2>&1; then
            TERM_NAME=$t
            break
        fi
    done
    [ -n "$TERM_NAME" ] || { echo "no terminfo entry for tmux or screen" >&2; exit 1; }
}

# ---- failing -------------------------------------------------------------------------------

# Prints the pane with column and row rulers so that positions can be read off at a glance.
dump_pane() {
    echo "---- pane (rows numbered, columns ruled) ----"
    echo "    0         1         2         3         4         5         6         7"
    echo "    01234567890123456789012345678901234567890123456789012345678901234567890123456789"
    local i
    if capture 2>/dev/null; then
        for i in "${!SCREEN[@]}"; do printf '%2d |%s|\n' "$i" "${SCREEN[$i]}"; done
    else
        echo "(no pane)"
    fi
}

fail() {
    {
        echo "FAIL: $*"
        dump_pane
        if [ -n "$WORK" ]; then
            local f
            for f in status before after err out; do
                [ -e "$WORK/$f" ] && { echo "---- $f ----"; cat "$WORK/$f"; }
            done
        fi
    } >&2
    exit 1
}

pass() {
    echo "ok: $*"
}

# ---- maps ----------------------------------------------------------------------------------

declare -a MAP=()

# A 32 x 32 board: walls all round, open floor inside and no dots.
map_new() {
    local border inner i
    border=$(printf 'X%.0s' {1..32})
    inner="X$(printf ' %.0s' {1..30})X"
    MAP=("$border")
    for ((i = 1; i < 31; ++i)); do MAP+=("$inner"); done
    MAP+=("$border")
}

# map_set COL ROW CHAR
map_set() {
    local col=$1 row=$2 c=$3
    local line=${MAP[$row]}
    MAP[$row]="${line:0:col}$c${line:col+1}"
}

# map_hline ROW FROM_COL TO_COL CHAR
map_hline() {
    local row=$1 from=$2 to=$3 c=$4 col
    for ((col = from; col <= to; ++col)); do map_set "$col" "$row" "$c"; done
}

# Mob 1 walks through walls but mobs 2 and 3 do not: a wall across row 8 keeps those two in
# the lower part of the board, well away from a player who stays near the start.
map_fence_off_lower_mobs() {
    map_hline 8 1 30 X
}

map_write() {
    printf '%s\n' "${MAP[@]}" >"$WORK/mapa.txt"
}

# ---- running the game ----------------------------------------------------------------------

# start_game [COLSxROWS] [COMMAND]
# Runs COMMAND (the game by default, stderr into "err") in the work directory in a detached
# pane of the given size (80x45 by default). Around it the pane's shell records `stty -g` in
# "before" and "after" and the exit status in "status" (written last), then stays alive so
# the screen can still be read. TMUX_CONF names a tmux configuration to start with. Each call
# starts a server of its own: a client that reached the last one's socket while it was shutting
# down would fail to start the session. The games are recorded in "state", never in the real
# home.
start_game() {
    stop_session
    rm -f "$WORK/status" # the last game's
    SESSIONS_STARTED=$((SESSIONS_STARTED + 1))
    SOCK="$SOCK_BASE-$SESSIONS_STARTED"
    local size=${1:-80x45}
    local command=${2:-"$(printf '%q' "$GAME") 2>err"}
    local cols=${size%x*} rows=${size#*x}
    PANE_COLS=$cols
    PANE_ROWS=$rows
    local wrapper
    wrapper="cd $(printf '%q' "$WORK") || exit 1
unset LC_ALL LC_CTYPE LC_MESSAGES
export LANG=C.UTF-8 TERM=$TERM_NAME XDG_STATE_HOME=$(printf '%q' "$WORK/state")
stty -g > before
$command
rc=\$?
stty -g > after
echo \$rc > status.tmp && mv status.tmp status
exec sleep 600"
    local why
    why=$(tmux -L "$SOCK" -f "${TMUX_CONF:-/dev/null}" new-session -d -s "$SESSION" -x "$cols" -y "$rows" \
        "$wrapper" 2>&1) || fail "tmux could not start a session: $why"
}

send_keys() {
    tmux -L "$SOCK" send-keys -t "$SESSION" "$@" || fail "send-keys $* failed"
}

# A letter exactly as typed, never read as a tmux key name.
send_letter() {
    tmux -L "$SOCK" send-keys -t "$SESSION" -l "$1" || fail "send-keys -l $1 failed"
}

pane_format() {
    tmux -L "$SOCK" display-message -p -t "$SESSION" "$1"
}

# ---- reading the screen --------------------------------------------------------------------

# Reads the whole pane into SCREEN, one row per element, padded with spaces to the pane's
# size (tmux leaves out cells that were never written, and the shell drops blank last rows).
# Polling loops call this often, on machines that may be busy: it costs one tmux client and
# no subshells.
capture() {
    local i line
    [ -n "$SOCK" ] || return 1
    mapfile -t SCREEN < <(tmux -L "$SOCK" capture-pane -p -N -t "$SESSION") || return 1
    [ "${#SCREEN[@]}" -gt 0 ] || return 1
    for ((i = 0; i < PANE_ROWS; ++i)); do
        line=${SCREEN[$i]:-}
        while [ "${#line}" -lt "$PANE_COLS" ]; do line+="          "; done
        SCREEN[$i]=${line:0:PANE_COLS}
    done
}

# cell COL ROW [LENGTH]: what the last capture shows there.
cell() {
    printf '%s' "${SCREEN[$2]:$1:${3:-1}}"
}

# True when the last capture shows TEXT starting at (COL, ROW).
shows_at() {
    [ "${SCREEN[$2]:$1:${#3}}" = "$3" ]
}

# Sets STARS to the number of '*' on the board in the last capture.
count_stars() {
    local row line
    STARS=0
    for ((row = 0; row < 32; ++row)); do
        line=${SCREEN[$row]:0:32}
        line=${line//[!*]/}
        STARS=$((STARS + ${#line}))
    done
}

# The player is at (COL, ROW) and nowhere else on the board.
only_player_at() {
    count_stars
    [ "$STARS" = 1 ] && shows_at "$1" "$2" '*'
}

screen_contains() {
    local line
    for line in "${SCREEN[@]}"; do
        [[ $line == *"$1"* ]] && return 0
    done
    return 1
}

# Sets NOW_MS to the wall clock in milliseconds, without a fork.
tick_clock() {
    local us=${EPOCHREALTIME/[.,]/}
    NOW_MS=$((us / 1000))
}

now_ms() {
    tick_clock
    echo "$NOW_MS"
}

# wait_until TIMEOUT_S DESCRIPTION COMMAND...: captures the pane and runs COMMAND until it
# succeeds; fails the test with DESCRIPTION when TIMEOUT_S seconds pass first.
wait_until() {
    local timeout_s=$1 what=$2
    shift 2
    tick_clock
    local deadline=$((NOW_MS + timeout_s * 1000))
    while true; do
        if capture && "$@"; then return 0; fi
        tick_clock
        [ "$NOW_MS" -ge "$deadline" ] && fail "timed out after ${timeout_s}s waiting for $what"
        sleep "$POLL_S"
    done
}

wait_for_text() {
    wait_until "${2:-$DEFAULT_TIMEOUT_S}" "\"$1\" in the pane" screen_contains "$1"
}

wait_for_text_at() {
    wait_until "${4:-$DEFAULT_TIMEOUT_S}" "\"$3\" at column $1, row $2" shows_at "$1" "$2" "$3"
}

# The first frame is sent top to bottom: it is all there once the panel's labels and its
# last shaded cell are.
board_drawn() {
    shows_at 4 34 SCORE && shows_at 69 39 "$SHADE"
}

wait_for_board() {
    wait_until "${1:-$DEFAULT_TIMEOUT_S}" "the game's first frame" board_drawn
}

# ---- after the game ------------------------------------------------------------------------

game_ended() {
    [ -s "$WORK/status" ]
}

# Waits for the game to end and sets STATUS to its exit status.
wait_for_exit() {
    local timeout_s=${1:-$DEFAULT_TIMEOUT_S}
    tick_clock
    local deadline=$((NOW_MS + timeout_s * 1000))
    until game_ended; do
        tick_clock
        [ "$NOW_MS" -ge "$deadline" ] && fail "the game did not end within ${timeout_s}s"
        sleep "$POLL_S"
    done
    STATUS=$(<"$WORK/status")
    capture || fail "could not read the pane after the game ended"
}

# The terminal is as the game found it: same line settings, cursor shown, keypad in normal
# mode, and the normal screen back in place of the alternate one.
assert_terminal_restored() {
    [ -s "$WORK/before" ] && [ -s "$WORK/after" ] || fail "stty -g was not recorded"
    cmp -s "$WORK/before" "$WORK/after" ||
        fail "stty settings changed: before '$(<"$WORK/before")' after '$(<"$WORK/after")'"
    [ "$(pane_format '#{alternate_on}')" = 0 ] || fail "the alternate screen is still on"
    [ "$(pane_format '#{cursor_flag}')" = 1 ] || fail "the cursor was left hidden"
    [ "$(pane_format '#{keypad_cursor_flag}#{keypad_flag}')" = 00 ] || fail "keypad left on"
}

assert_status() {
    [ "$STATUS" = "$1" ] || fail "exit status $STATUS, expected $1"
}

# ---- the whole game screen -----------------------------------------------------------------

MISMATCH=""

# game_screen_shown PLAYER_COL PLAYER_ROW: the last capture shows all of the game's 80 x 40
# cells for the board in MAP, none of its dots eaten: every board cell as the map draws it
# (walls shaded, dots, open floor), the player on its cell, at most three mobs ('A') and only
# on open cells, nothing right of the board, and the panel's box with its labels (the score
# and lives readouts may or may not be there yet). Sets MISMATCH to the first difference.
game_screen_shown() {
    local pcol=$1 prow=$2 row col got want line mobs=0
    MISMATCH=""
    for ((row = 0; row < 32; ++row)); do
        line=${MAP[$row]//[!X.]/ }
        line=${line//X/$SHADE}
        [ "$row" = "$prow" ] && line="${line:0:pcol}*${line:pcol+1}"
        [ "${SCREEN[$row]:0:32}" = "$line" ] || for ((col = 0; col < 32; ++col)); do
            got=${SCREEN[$row]:col:1}
            want=${line:col:1}
            [ "$got" = "$want" ] && continue
            if [ "$got" = A ] && [ "$want" != "$SHADE" ] && [ "$want" != '*' ]; then
                mobs=$((mobs + 1))
                continue
            fi
            MISMATCH="board cell ($col,$row) shows '$got', expected '$want'"
            return 1
        done
        [[ ${SCREEN[$row]:32:48} =~ ^\ *$ ]] || {
            MISMATCH="row $row has something right of the board: '${SCREEN[$row]:32:48}'"
            return 1
        }
    done
    [ "$mobs" -le 3 ] || { MISMATCH="$mobs mobs on the board"; return 1; }

    local s1=$SHADE s4=$SHADE$SHADE$SHADE$SHADE blank10='          '
    local s68="" s53=""
    for ((col = 0; col < 68; ++col)); do s68+=$SHADE; done
    s53=${s68:0:53}
    [[ ${SCREEN[32]:0:80} =~ ^\ *$ ]] || { MISMATCH="row 32 is not blank"; return 1; }
    local -A want_row=(
        [33]="  $s68$blank10"
        [34]="  $s1${s1}SCORE$s1$s1${s1}LIVES$s53$blank10"
        [36]="  $s68$blank10" [37]="  $s68$blank10" [38]="  $s68$blank10" [39]="  $s68$blank10")
    for row in 33 34 36 37 38 39; do
        [ "${SCREEN[$row]:0:80}" = "${want_row[$row]}" ] || {
            MISMATCH="panel row $row is '${SCREEN[$row]:0:80}'"
            return 1
        }
    done
    # The readout row: box, score readout or shade, box, lives digit or shade, box.
    line=${SCREEN[35]:0:80}
    local readout=${line:3:7} lives=${line:14:1}
    if [ "${line:0:3}${line:10:4}${line:15:65}" != "  $s1$s4${s68:0:55}$blank10" ] ||
        ! [[ $readout =~ ^[0-9]{3}/[0-9]{3}$ || $readout == "${s68:0:7}" ]] ||
        ! [[ $lives == [0-3] || $lives == "$SHADE" ]]; then
        MISMATCH="panel row 35 is '$line'"
        return 1
    fi
}

# stderr holds no report from AddressSanitizer or UndefinedBehaviorSanitizer.
assert_no_sanitizer_report() {
    if grep -qE 'Sanitizer|runtime error' "$WORK/err" 2>/dev/null; then
        fail "a sanitizer report on stderr"
    fi
}

# wait_for_game_screen TIMEOUT_S PLAYER_COL PLAYER_ROW DESCRIPTION: polls until
# game_screen_shown holds; fails the test with the last difference seen.
wait_for_game_screen() {
    local timeout_s=$1 pcol=$2 prow=$3 what=$4
    tick_clock
    local deadline=$((NOW_MS + timeout_s * 1000))
    until capture && game_screen_shown "$pcol" "$prow"; do
        tick_clock
        [ "$NOW_MS" -ge "$deadline" ] &&
            fail "timed out after ${timeout_s}s waiting for $what: ${MISMATCH:-no pane}"
        sleep "$POLL_S"
    done
}
