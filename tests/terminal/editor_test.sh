# dotmaze --edit, drawn as a new author would: walls and dots, a mirrored wall, undo, the
# verdict live (the start walled in, then not), save, --check agreeing, p and back, leaving
# with a question, and SIGTERM keeping the unsaved changes in MAP.save.
source "$(dirname "$0")/lib.sh" "$@"
term_setup editor

edit_new() { # the editor on new.txt, its pid in game.pid
    start_game 80x45 "sh -c 'echo \$\$ > game.pid; exec \"\$0\" --edit new.txt' $(printf '%q' "$GAME") 2>err"
    wait_for_text_at 34 0 "new.txt"
}
cursor_at() { [ "$(pane_format '#{cursor_x},#{cursor_y},#{cursor_flag}')" = "$1,$2,1" ]; }
row_is() { shows_at 0 "$1" "$2"; }
keys() { local k; for k in "$@"; do case $k in ?) send_letter "$k" ;; *) send_keys "$k" ;; esac; done; }

mkfifo "$WORK/fifo"
for map in "$WORK" "$WORK/fifo"; do # refused as --check refuses them, the terminal untouched
    STATUS=0 && "$GAME" --edit "$map" >"$WORK/out" 2>"$WORK/err" || STATUS=$?
    assert_status 1
    grep -Eq "cannot open \"$map\": it is (a directory|not a regular file)" "$WORK/err" ||
        fail "$map: $(<"$WORK/err")"
    [ -s "$WORK/out" ] && fail "--edit $map wrote to the terminal"
done
pass "a folder and a FIFO are refused with status 1, nothing sent to the terminal"

S=$SHADE
edit_new
wait_for_text "a new map: s writes it to new.txt"
wait_until 5 "the cursor on (1, 1)" cursor_at 1 1
row_is 1 "$S*" && row_is 3 "${S}A" && shows_at 29 29 "A" || fail "no start marks"
keys Down Down Down Down . . . m x u m # dots down column 1, a mirrored wall undone
wait_until 5 "the cursor back on (1, 8)" cursor_at 1 8
keys Right Right x x Space
wait_until 5 "walls at (3, 8) and (4, 8)" row_is 8 "$S  $S$S "
row_is 5 "$S.  " && row_is 7 "$S.  " && shows_at 29 8 "  $S" || fail "the dots or the undo"
wait_for_text_at 34 0 "new.txt (changed)"
keys Up Up Up Up Up Up Up Left Left Left Left x Down x # the start walled in: an error, live
wait_for_text_at 34 6 "1 error, "
wait_for_text "error: 3 dots cannot be reached"
keys u
wait_until 5 "the error gone" eval '! screen_contains "error:"'
keys Up Right Right m x # a mirrored wall at (3, 1) and (28, 1)
wait_until 5 "the mirrored wall" eval 'row_is 1 "$S*$S$S" && shows_at 27 1 " $S  $S"'
keys s
wait_for_text "saved new.txt"
verdict=$(cell 34 6 46 | sed 's/ *$//')
[ "$(sed -n 2p "$WORK/new.txt")" = "X XX                        X  X" ] || fail "saved: $(cat -A "$WORK/new.txt")"

keys p # the board played, Escape, and the editor back as it was
wait_for_text "trying new.txt"
wait_until 5 "the game's panel" board_drawn
keys Escape
wait_for_text_at 34 0 "new.txt"
wait_until 5 "the cursor back on (4, 1)" cursor_at 4 1
keys q
wait_for_exit
assert_status 0
assert_terminal_restored
(cd "$WORK" && "$GAME" --check --quiet new.txt >out)
[ "$(tail -n 1 "$WORK/out")" = "new.txt: $verdict" ] ||
    fail "the editor said '$verdict', --check: $(tail -n 1 "$WORK/out")"
pass "drawn, mirrored, undone, the start walled in live, saved, played and back; --check agrees"

cp "$WORK/new.txt" "$WORK/saved.txt"
edit_new
keys . q
wait_for_text "Save the changes to new.txt?"
keys z
wait_for_text "still editing"
keys q n
wait_for_exit
assert_status 0
cmp -s "$WORK/new.txt" "$WORK/saved.txt" || fail "n saved the changes"
pass "leaving with unsaved changes asks; another key stays, n leaves them unsaved"

edit_new
keys . .
wait_for_text_at 34 0 "new.txt (changed)"
kill -TERM "$(<"$WORK/game.pid")"
wait_for_exit
assert_status 143
assert_terminal_restored
cmp -s "$WORK/new.txt" "$WORK/saved.txt" || fail "SIGTERM changed new.txt"
[ "$(sed -n 2p "$WORK/new.txt.save")" = "X..X                        X  X" ] || fail "no new.txt.save"
grep -q 'unsaved changes to "new.txt" are in "new.txt.save"' "$WORK/err" || fail "stderr: $(<"$WORK/err")"
pass "SIGTERM with unsaved changes: new.txt.save holds them, new.txt as it was, said on stderr"
