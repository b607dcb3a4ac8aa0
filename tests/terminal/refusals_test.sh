# The ways the game refuses to start: no map, a terminal too small or of a type it cannot draw
# on, output that is not a terminal. Each one exits 1 with a reason on stderr and leaves the
# terminal untouched.
source "$(dirname "$0")/lib.sh" "$@"
term_setup refusals

map_new
map_set 5 5 .

# Nothing reached the terminal: the pane is blank and was never switched to the game's
# screen, and the line settings are as they were.
assert_terminal_untouched() {
    assert_terminal_restored
    local line
    for line in "${SCREEN[@]}"; do
        [[ $line =~ ^\ *$ ]] || fail "$1 wrote to the terminal: '$line'"
    done
}

assert_err_mentions() {
    grep -qF -- "$1" "$WORK/err" || fail "stderr does not mention '$1': $(cat "$WORK/err")"
}

# Clears the way for the next case: a new session and no files left from the last one.
restart() {
    stop_session
    rm -f "$WORK"/{status,before,after,err,out,mapa.txt}
}

# ---- no map --------------------------------------------------------------------------------

start_game
wait_for_exit
assert_status 1
assert_err_mentions mapa.txt
assert_err_mentions "$(cd "$WORK" && pwd -P)"
assert_err_mentions "No such file or directory"
assert_terminal_untouched "a refusal for a missing map"
pass "no mapa.txt: status 1, says which file, where and why"

# ---- too small, by one column or one row, and far too small ------------------------------------

# LINES and COLUMNS in the environment claim a large terminal: they must not be believed.
for size in 70x30 79x45 80x40 200x40; do
    restart
    map_write
    start_game "$size" "LINES=50 COLUMNS=100 $(printf '%q' "$GAME") 2>err"
    wait_for_exit
    assert_status 1
    assert_err_mentions "at least 80 columns by 41 rows"
    assert_err_mentions "this one is ${size%x*} by ${size#*x}"
    [ "$(wc -L <"$WORK/err")" -le 79 ] || fail "the refusal is wider than 79 columns"
    assert_terminal_untouched "a refusal for a ${size} terminal"
    pass "a $size terminal: status 1 with the needed and found sizes"
done

# Nor when they claim a small one: the rows below 30 would never be drawn.
restart
map_write
start_game 80x45 "LINES=30 COLUMNS=80 $(printf '%q' "$GAME") 2>err"
wait_for_board
send_keys Escape
wait_for_exit
assert_status 0
pass "LINES and COLUMNS in the environment do not change the size the game finds"

# The smallest size that is enough.
restart
map_write
start_game 80x41
wait_for_board
send_keys Escape
wait_for_exit
assert_status 0
assert_terminal_restored
[ -s "$WORK/err" ] && fail "an 80x41 game wrote to stderr: $(<"$WORK/err")"
pass "an 80x41 terminal is enough"

# ---- terminals the game cannot draw on ----------------------------------------------------

for term in dumb no-such-terminal; do
    restart
    map_write
    start_game 80x45 "TERM=$term $(printf '%q' "$GAME") 2>err"
    wait_for_exit
    assert_status 1
    assert_err_mentions "\"$term\""
    assert_terminal_untouched "a refusal of TERM=$term"
    pass "TERM=$term: status 1, the type named, terminal untouched"
done

# ---- not a terminal ------------------------------------------------------------------------

restart
map_write
start_game 80x45 "$(printf '%q' "$GAME") >out 2>err"
wait_for_exit
assert_status 1
[ -s "$WORK/err" ] || fail "no reason given on stderr when stdout is a file"
assert_err_mentions terminal
[ -s "$WORK/out" ] && fail "the game wrote to its output file: $(od -c "$WORK/out" | head)"
assert_terminal_untouched "a refusal for output to a file"
pass "stdout redirected to a file: status 1 with a reason, nothing written to the file"

restart
map_write
start_game 80x45 "$(printf '%q' "$GAME") --record game.replay </dev/null 2>err"
wait_for_exit
assert_status 1
assert_err_mentions terminal
[ -e "$WORK/game.replay" ] && fail "a game that never started left a replay file"
assert_terminal_untouched "a refusal for input from /dev/null"
pass "stdin not a terminal: status 1 with a reason"
