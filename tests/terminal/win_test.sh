# Eating the last dot wins: "Well done!", a short pause, status 0, and the words stay on the
# terminal's own screen once the game has given it back.
source "$(dirname "$0")/lib.sh" "$@"
term_setup win

map_new
map_fence_off_lower_mobs
map_set 2 1 .
map_set 3 1 .
map_write

start_game
wait_for_board

send_keys Right
wait_until 5 "the first dot eaten" shows_at 3 35 "001/002"
game_ended && fail "the game ended with a dot still on the board"
pass "one dot of two does not win"

# The game's own screen is cleared down to the words for the half second before it leaves.
# The window is short, so look without pausing between captures.
winning_screen() {
    shows_at 0 0 "Well done!" && ! screen_contains "$SHADE" && ! screen_contains SCORE
}
sent=$(now_ms)
send_keys Right
seen=""
until [ -n "$seen" ] || game_ended; do
    # The normal screen shows the same words once the game has gone: make sure the capture
    # was taken while the game's screen was up.
    [ "$(pane_format '#{alternate_on}')" = 1 ] && capture && winning_screen &&
        [ "$(pane_format '#{alternate_on}')" = 1 ] && seen=yes
done
[ -n "$seen" ] || fail "never saw \"Well done!\" alone on the cleared game screen"
wait_for_exit 5
elapsed=$(($(now_ms) - sent))
assert_status 0
# The game holds "Well done!" on screen for half a second before leaving; a slow machine can
# only make this longer.
[ "$elapsed" -ge 450 ] || fail "the game left ${elapsed} ms after the winning move"
assert_terminal_restored
pass "the last dot ends the game with status 0 after ${elapsed} ms"

# Back on the normal screen: the words are there, on a line of their own, and nothing of the
# board or the panel came along.
lines=0
for line in "${SCREEN[@]}"; do
    [[ $line == *"Well done!"* ]] || continue
    [[ $line =~ ^Well\ done!\ *$ ]] || fail "\"Well done!\" shares its line: '$line'"
    lines=$((lines + 1))
done
[ "$lines" = 1 ] || fail "\"Well done!\" shows $lines times after the game, expected once"
screen_contains SCORE && fail "the panel is still showing after the game"
screen_contains "$SHADE" && fail "the board is still showing after the game"
[ -s "$WORK/err" ] && fail "the game wrote to stderr: $(<"$WORK/err")"
pass "\"Well done!\" stays on the terminal"

# Two one-dot maps as levels: a right arrow wins each, and the second ends as one map would.
map_set 3 1 ' '
map_write
rm -f "$WORK/status"
start_game 80x45 "$(printf '%q' "$GAME") mapa.txt mapa.txt 2>err"
wait_for_text_at 33 0 "mapa.txt  1/2"
send_keys Right
wait_for_text_at 33 0 "mapa.txt  2/2" 5
send_keys Right
wait_for_exit 5
assert_status 0
shows_at 0 0 "Well done!" || fail "no \"Well done!\" after the second map"
pass "two maps won in turn end with \"Well done!\" and status 0"

# Each map won is remembered on its own and told its place under the ending: the second, on
# the same board, its place among the two, as `--scores` lists it.
won='mapa\.txt: won in [0-9]:[0-9]{2}\.[0-9], 3 lives left'
printf '%s\n' "${SCREEN[@]}" | grep -qE "^$won: 1st of 1 *$" || fail "no place for the first map"
line=$(printf '%s\n' "${SCREEN[@]}" | grep -E "^$won: (1st|2nd) of 2( \(best [^)]+\))? *$") ||
    fail "no place for the second map"
place=${line##*left: } time=${line#*won in }
scores=$(cd "$WORK" && XDG_STATE_HOME=$WORK/state "$GAME" --scores mapa.txt) || fail "$scores"
[ "$(grep -cE '^ +[12] +won +[0-9]:[0-9]{2}\.[0-9] +3 +1/1 ' <<<"$scores")" = 2 ] &&
    grep -qE "^ +${place:0:1} +won +${time%%,*} " <<<"$scores" || fail "--scores shows: $scores"
modes="$(stat -c %a "$WORK/state/dotmaze")/$(stat -c %a "$WORK/state/dotmaze/scores")"
[ "$modes" = 700/600 ] || fail "the scores folder and file have modes $modes"
pass "each map won is told its place, as --scores lists it"

# A state folder the game cannot write (read-only; for root, whom modes do not stop, a folder
# where the file should be) costs the record only.
if [ "$(id -u)" = 0 ]; then
    rm "$WORK/state/dotmaze/scores" && mkdir "$WORK/state/dotmaze/scores"
else
    chmod 500 "$WORK/state/dotmaze"
fi
start_game
wait_for_board
send_keys Right
wait_for_exit 5
assert_status 0
screen_contains ": won in " && screen_contains ": not saved: " || fail "no \"not saved\" line"
chmod 700 "$WORK/state/dotmaze" # for the clean-up
pass "a scores file that cannot be written: \"not saved\", status 0"
