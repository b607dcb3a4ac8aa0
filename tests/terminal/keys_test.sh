# The keys that move the player, eating dots, walls that block, and Escape.
#
# The player stays in rows 1 and 2: mob 1 never leaves rows 3-5 and the other two are fenced
# off below row 8, so no catch can interfere.
source "$(dirname "$0")/lib.sh" "$@"
term_setup keys

map_new
map_fence_off_lower_mobs
map_set 2 1 .  # right of the start
map_set 2 2 .  # below that
map_set 3 2 X  # a wall to walk into
map_set 20 20 . # out of reach: the game must not be won here
map_set 25 25 .
map_write

readout_is() {
    shows_at 3 35 "$1"
}

start_game
wait_for_board
only_player_at 1 1 || fail "the player does not start alone at (1,1)"
readout_is "$SHADE$SHADE$SHADE$SHADE$SHADE$SHADE$SHADE" ||
    fail "the score readout is drawn before any key was pressed"

# Lower-case letters are not movement keys, but any key makes the readout appear.
send_letter p
wait_until 5 "the score readout after the first key" readout_is "000/004"
only_player_at 1 1 || fail "lower-case p moved the player"
pass "first key shows the readout; lower-case p does not move"

send_keys Right
wait_until 5 "the player at (2,1) after Right" only_player_at 2 1
wait_until 5 "one dot eaten" readout_is "001/004"
[ "$(cell 1 1)" = " " ] || fail "the start cell was not cleared after moving: '$(cell 1 1)'"
pass "Right moves and eats the dot"

send_letter P
wait_until 5 "the player at (2,2) after P" only_player_at 2 2
wait_until 5 "the second dot eaten" readout_is "002/004"
pass "P moves down and eats the dot"

# Walking into the wall at (3,2), then into the border above and left of the start: none of
# these moves, and a legal move after each shows where the player really was.
send_letter M
send_letter K
wait_until 5 "the player at (1,2) after M (into the wall) and K" only_player_at 1 2
send_letter H
wait_until 5 "the player at (1,1) after H" only_player_at 1 1
send_keys Up
send_keys Left
send_keys Down
wait_until 5 "the player at (1,2) after Up, Left (into the border) and Down" only_player_at 1 2
readout_is "002/004" || fail "the score changed without a dot being eaten"
[ "$(cell 3 2)" = "$SHADE" ] || fail "the wall at (3,2) is not drawn as a wall"
pass "walls block M, Up and Left; K, H and Down move"

# An arrow's sequence in the form the terminal sends outside keypad mode (as it does for a
# moment after start-up or a resume, before curses switches the mode on) moves all the same.
send_keys -H 1b 5b 43 # ESC [ C: right
wait_until 5 "the player at (2,2) after ESC [ C" only_player_at 2 2
send_keys -H 1b 5b 44 # ESC [ D: left
wait_until 5 "the player at (1,2) after ESC [ D" only_player_at 1 2
pass "arrows move in either form of their sequence"

# A lone Escape quits at once: within the 25 ms the terminal is given to finish a sequence
# and one frame, and well before the second curses would wait by default. (The bound leaves
# room for a busy machine: the end of the game, the shell's status and the polling.)
POLL_S=0.01
tick_clock
sent=$NOW_MS
send_keys Escape
wait_for_exit 5
elapsed=$(($(now_ms) - sent))
POLL_S=0.05
assert_status 0
((elapsed < 700)) || fail "Escape took $elapsed ms to end the game"
assert_terminal_restored
screen_contains SCORE && fail "the game's screen is still showing after Escape"
screen_contains "$SHADE" && fail "the board is still showing after Escape"
[ -s "$WORK/err" ] && fail "the game wrote to stderr: $(<"$WORK/err")"
pass "Escape quits in $elapsed ms with status 0 and gives the terminal back"

# quits_on WHAT SECONDS HEX...: a new game, given these bytes all at once, quits with status 0
# within SECONDS.
quits_on() {
    local what=$1 seconds=$2
    shift 2
    stop_session
    rm -f "$WORK"/{status,before,after,err}
    start_game
    wait_for_board
    tick_clock
    local sent=$NOW_MS
    send_keys -H "$@"
    wait_for_exit 10
    assert_status 0
    assert_terminal_restored
    local elapsed=$(($(now_ms) - sent))
    ((elapsed < seconds * 1000)) || fail "$what: the game took $elapsed ms to quit"
    pass "$what: quits in $elapsed ms"
}

# An Escape is not an Alt chord when what follows is another key of its own.
quits_on "Escape twice at once" 5 1b 1b
quits_on "Escape and an arrow at once" 5 1b 1b 4f 41
# Keys are worked off one a frame, but an Escape behind 200 of them (8 s of frames) jumps the
# queue.
quits_on "Escape behind 200 queued keys" 2 $(printf '70 %.0s' {1..200}) 1b
