# Losing all three lives: each catch rings the bell, sends the player back to the start to
# blink, and takes a life off the panel; the third ends the game with "GAME OVER!".
#
# Only mob 1 can reach the player here: the other two are fenced off below row 8. Mob 1 goes
# round (1,3) -> (11,3) -> (11,5) -> (1,5) -> (1,3) once every 24 ticks (4.8 s), so a player
# waiting at (1,3) is caught within that time.
source "$(dirname "$0")/lib.sh" "$@"
term_setup game-over

map_new
map_fence_off_lower_mobs
map_set 20 20 . # out of reach: the game must not be won
map_write

player_at() {
    shows_at "$1" "$2" '*'
}

lives_are() {
    shows_at 14 35 "$1"
}

start_game
# Count the bells the game rings; tmux runs this hook once for each one.
tmux -L "$SOCK" set-hook -g alert-bell "run-shell 'echo bell >> $(printf '%q' "$WORK/bells")'" ||
    fail "could not set the bell hook"
wait_for_board
wait_until 5 "the lives digit" lives_are 3

bells() {
    if [ -e "$WORK/bells" ]; then wc -l <"$WORK/bells"; else echo 0; fi
}

# The number of '*' on the board.
stars() {
    local row line count=0
    for ((row = 0; row < 32; ++row)); do
        line=${SCREEN[$row]:0:32}
        line=${line//[!*]/}
        count=$((count + ${#line}))
    done
    echo "$count"
}

player_hidden() {
    [ "$(stars)" = 0 ]
}

# Watches the blink after a catch until the lives digit changes, checking that the player
# flashes at (1,1) and nowhere else and that mob 1 stays frozen on the cell it caught it on.
watch_blink() {
    local life=$1
    local began ended offs=1 ons=0 shown=no deadline
    began=$(now_ms)
    deadline=$((began + 8000))
    while capture && lives_are "$life"; do
        shows_at 1 3 A || fail "mob 1 left (1,3) during the blink"
        case "$(stars)" in
        0) [ "$shown" = yes ] && offs=$((offs + 1)) && shown=no ;;
        1)
            player_at 1 1 || fail "the player is not blinking at (1,1)"
            [ "$shown" = no ] && ons=$((ons + 1)) && shown=yes
            ;;
        *) fail "more than one player on the board" ;;
        esac
        [ "$(now_ms)" -lt "$deadline" ] || fail "the blink went on for more than 8 s"
        sleep "$POLL_S"
    done
    ended=$(now_ms)
    # Three 1-second blinks; seen from outside, at least two hidden and two shown phases and
    # two seconds, however late the first look came.
    [ "$offs" -ge 2 ] && [ "$ons" -ge 2 ] ||
        fail "the player blinked $offs times off and $ons times on, expected three each"
    [ $((ended - began)) -ge 2000 ] || fail "the blink lasted only $((ended - began)) ms"
}

for life in 3 2 1; do
    # Down to (1,3), into mob 1's round, and wait there to be caught: the player vanishes
    # under the mob, and the panel still shows the old count.
    send_letter P
    wait_until 5 "the player at (1,2)" player_at 1 2
    send_letter P
    wait_until 8 "the player caught at (1,3)" player_hidden
    shows_at 1 3 A || fail "the player was not caught by mob 1 at (1,3)"
    lives_are "$life" || fail "the lives changed before the blink: '$(cell 14 35)'"
    watch_blink "$life"

    if [ "$life" -gt 1 ]; then
        lives_are $((life - 1)) || fail "the lives show '$(cell 14 35)' after a catch with $life"
        player_at 1 1 || fail "the player is not at (1,1) after the blink"
        game_ended && fail "the game ended with lives left"
        [ "$(bells)" = $((4 - life)) ] || fail "$(bells) bells after $((4 - life)) catches"
        pass "caught with $life lives: bell, back to (1,1), blinked, $((life - 1)) left"
    fi
done

# The last life: the words go up below the board on the game's screen...
wait_until 5 "\"GAME OVER!\" at column 0, row 40" shows_at 0 40 "GAME OVER!"
[ "$(pane_format '#{alternate_on}')" = 1 ] || fail "\"GAME OVER!\" was not on the game's screen"
lives_are 0 || fail "the lives digit shows '$(cell 14 35)' at the end, expected 0"
pass "the third catch shows GAME OVER! below the board"

# ...and stay on the terminal's own screen after the game has given it back.
wait_for_exit 5
assert_status 0
assert_terminal_restored
[ "$(bells)" = 3 ] || fail "$(bells) bells for three catches"
lines=0
for line in "${SCREEN[@]}"; do
    [[ $line == *"GAME OVER!"* ]] && lines=$((lines + 1))
done
[ "$lines" = 1 ] || fail "\"GAME OVER!\" shows $lines times after the game, expected once"
screen_contains SCORE && fail "the panel is still showing after the game"
[ -s "$WORK/err" ] && fail "the game wrote to stderr: $(<"$WORK/err")"
pass "status 0, terminal restored, GAME OVER! still showing"
