# Fifty resizes in quick succession, down to a single cell and up past the game's size: the
# game goes on through all of them, draws what fits while the window is small, and shows its
# whole screen again once the window is large enough; then Escape quits as usual.
source "$(dirname "$0")/lib.sh" "$@"
term_setup resize

map_new
map_fence_off_lower_mobs
# Something to recognise in every part of the board: dots along a diagonal and the right
# column, a few walls.
for i in 2 5 11 14 17 23 26 29; do map_set "$i" "$i" .; done
for ((row = 9; row < 31; row += 4)); do map_set 30 "$row" .; done
map_hline 12 5 15 X
map_hline 20 16 26 X
map_write

# resize COLSxROWS: the window (and with it the pane) takes the new size.
resize() {
    local cols=${1%x*} rows=${1#*x}
    tmux -L "$SOCK" resize-window -t "$SESSION" -x "$cols" -y "$rows" || fail "could not resize to $1"
}

pane_size_is() {
    [ "$(pane_format '#{pane_width}x#{pane_height}')" = "$1" ]
}

start_game
wait_for_board
wait_for_game_screen 5 1 1 "the first frame"

# Most of the sizes are below the game's 80 x 41, some far below; a few are larger.
SIZES=(10x5 1x1 80x45 40x20 1x1 79x40 200x60 3x2 80x41 10x5
    20x50 120x10 1x1 80x40 2x45 80x1 60x30 1x1 100x50 10x5
    5x5 80x45 1x1 15x3 81x42 10x5 30x12 1x1 79x44 4x4
    10x5 80x45 1x2 2x1 50x25 1x1 80x45 10x5 70x35 1x1
    160x48 10x5 1x1 80x39 9x9 1x1 78x41 10x5 1x1 10x5)
[ "${#SIZES[@]}" = 50 ] || fail "the test lists ${#SIZES[@]} sizes, not 50"
for i in "${!SIZES[@]}"; do
    resize "${SIZES[$i]}"
    # Mostly faster than the game's frames, sometimes slow enough for a frame in between.
    ((i % 7 == 6)) && sleep 0.05
done
pane_size_is 10x5 || fail "the pane is $(pane_format '#{pane_width}x#{pane_height}'), not 10x5"
sleep 0.3
game_ended && fail "the game ended during the resizes, status $(<"$WORK/status")"
pass "fifty resizes down to 1x1 and up to 200x60: the game still runs"

# While the window is too small, the game draws the part of its screen that fits: a 40 x 20
# window shows the board's top left quarter.
resize 40x20
PANE_COLS=40
PANE_ROWS=20
top_left_shown() {
    local row line
    for ((row = 0; row < 20; ++row)); do
        line=${MAP[$row]//[!X.]/ }
        line=${line//X/$SHADE}
        ((row == 1)) && line="${line:0:1}*${line:2}"
        # Mob 1 goes round rows 3 to 5; the others keep below row 8.
        if ((row >= 3 && row <= 5 || row > 8)); then
            # Any open cell may show a mob; the ? are wildcards.
            line=${line//[ .]/?}
            # shellcheck disable=SC2053
            [[ ${SCREEN[$row]:0:32} == $line && ${SCREEN[$row]:0:32} != *'*'* ]] || return 1
        else
            [ "${SCREEN[$row]:0:32}" = "$line" ] || return 1
        fi
        [[ ${SCREEN[$row]:32:8} =~ ^\ *$ ]] || return 1
    done
}
wait_until 10 "the board's top left quarter in a 40x20 window" top_left_shown
pass "a 40x20 window shows the part of the board that fits"

resize 80x45
PANE_COLS=80
PANE_ROWS=45
pane_size_is 80x45 || fail "the pane is $(pane_format '#{pane_width}x#{pane_height}'), not 80x45"
wait_for_game_screen 10 1 1 "the whole game screen after growing back to 80x45"
game_ended && fail "the game ended after the resizes, status $(<"$WORK/status")"
pass "back at 80x45 the whole screen shows again: board, mobs, panel"

send_keys Right
wait_until 5 "the player at (2,1) after Right" only_player_at 2 1
send_keys Escape
wait_for_exit 5
assert_status 0
assert_terminal_restored
[ -s "$WORK/err" ] && fail "the game wrote to stderr: $(<"$WORK/err")"
pass "the game still plays, and Escape quits with status 0 and gives the terminal back"
