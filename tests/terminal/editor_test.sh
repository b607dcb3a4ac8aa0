# dotmaze --edit as a new author uses it: drawn, mirrored, undone, checked live, saved, played
# and back, --check agreeing; leaving with a question; SIGTERM keeping the changes in MAP.save.
source "$(dirname "$0")/lib.sh" "$@"
term_setup editor

edit_new() { # the editor on new.txt, its pid in game.pid
    start_game 80x45 "sh -c 'echo \$\$ > game.pid; exec \"\$0\" --edit new.txt' $(printf '%q' "$GAME") 2>err"
    wait_for_text_at 34 0 "new.txt"
}
cursor_at() { [ "$(pane_format '#{cursor_x},#{cursor_y},#{cursor_flag}')" = "$1,$2,1" ]; }
row_is() { shows_at 0 "$1" "$2"; }
keys() { local k; for k in "$@"; do case $k in ?) send_letter "$k" ;; *) send_keys "$k" ;; esac; done; }

S=$SHADE
edit_new
wait_until 5 "the cursor on (1, 1)" eval 'cursor_at 1 1 && screen_contains "a new map: s writes it"'
row_is 1 "$S*" && row_is 3 "${S}A" && shows_at 29 29 "A" || fail "no start marks"
keys Down Down Down Down . . . m x u m # dots down column 1, a mirrored wall undone
wait_until 5 "the cursor back on (1, 8)" cursor_at 1 8
keys Right Right x x Space
wait_until 5 "walls at (3, 8) and (4, 8)" row_is 8 "$S  $S$S "
row_is 5 "$S.  " && row_is 7 "$S.  " && shows_at 29 8 "  $S" && shows_at 34 0 "new.txt (changed)" ||
    fail "the dots, the undo or the name"
keys Up Up Up Up Up Up Up Left Left Left Left x Down x # the start walled in: an error, live
wait_until 5 "the error" eval 'shows_at 34 6 "1 error, " && screen_contains "error: 3 dots cannot"'
keys u Up Right Right m x # the error gone; a mirrored wall at (3, 1) and (28, 1)
wait_until 5 "the mirrored wall, no error" eval 'row_is 1 "$S*$S$S" && shows_at 27 1 " $S  $S" &&
    ! screen_contains "error:"'
keys s
wait_for_text "saved new.txt"
verdict=$(cell 34 6 46 | sed 's/ *$//')
[ "$(sed -n 2p "$WORK/new.txt")" = "X XX                        X  X" ] || fail "saved: $(cat -A "$WORK/new.txt")"

keys p # the board played, Escape, and the editor back as it was
wait_until 5 "the game's panel" eval 'board_drawn && screen_contains "trying new.txt"'
keys Escape
wait_until 5 "the editor back, the cursor on (4, 1)" eval 'shows_at 34 0 new.txt && cursor_at 4 1'
keys q
wait_for_exit
assert_status 0
assert_terminal_restored
(cd "$WORK" && "$GAME" --check --quiet new.txt >out)
[ "$(tail -n 1 "$WORK/out")" = "new.txt: $verdict" ] ||
    fail "the editor said '$verdict', --check: $(tail -n 1 "$WORK/out")"
pass "drawn, mirrored, undone, the start walled in live, saved, played and back; --check agrees"

edit_new # leaving with unsaved changes asks; another key stays; then SIGTERM
keys . . q
wait_for_text "Save the changes to new.txt?"
keys z
wait_for_text "still editing"
kill -TERM "$(<"$WORK/game.pid")"
wait_for_exit
assert_status 143
assert_terminal_restored
[ "$(sed -n 2p "$WORK/new.txt")" = "X XX                        X  X" ] || fail "new.txt changed"
[ "$(sed -n 2p "$WORK/new.txt.save")" = "X..X                        X  X" ] || fail "no new.txt.save"
grep -q 'unsaved changes to "new.txt" are in "new.txt.save"' "$WORK/err" || fail "stderr: $(<"$WORK/err")"
pass "q with unsaved changes asks, z stays; SIGTERM leaves them in new.txt.save, new.txt as it was"
