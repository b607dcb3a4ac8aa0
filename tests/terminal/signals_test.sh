# Signals from outside: SIGINT, SIGTERM, SIGHUP and SIGQUIT (sent with kill, and Ctrl-C typed)
# end the game the way they would end any program, but only after it has given the terminal
# back; a stop (Ctrl-Z typed, or SIGTSTP sent) gives the terminal back while the game is
# stopped, and `fg` brings the game back fully repainted and still playing.
#
# The game runs as the foreground job of a shell with job control, as it would from an
# interactive shell: in a process group of its own, the one the terminal's keys signal. (Run
# straight from the pane's shell it would be in an orphaned process group, and the kernel
# throws such a group's stop signals away.) The job shell is a script, not an interactive
# shell, so that no line editor changes the line settings between the game and the checks.
source "$(dirname "$0")/lib.sh" "$@"
term_setup signals

map_new
map_fence_off_lower_mobs
map_set 20 20 . # out of reach: the game must not be won
map_set 25 25 .
map_write

# The job shell: starts the game (its pid in game.pid, its stderr in err; with the arguments in
# "args", when there are any); each time the job
# stops, records the line settings as they are while it is stopped in stopped.N, then waits
# for the test to create resume.N before it runs `fg` (or the job commands in resume.N, as a
# user would type them). Its exit status is the game's. No loop around `fg`: bash leaves the
# loop it is in when the job it waits for stops.
cat >"$WORK/jobs.sh" <<EOF
ulimit -c 0 # SIGQUIT would dump core
set -m
sh -c 'echo \$\$ > game.pid; exec "\$0" "\$@"' $(printf '%q' "$GAME") \$(cat args 2>/dev/null) 2>err
rc=\$?
stops=0
after_stop() {
    jobs -s >stopped-jobs
    [ -s stopped-jobs ] || return 1
    stops=\$((stops + 1))
    stty -g >stopped.tmp && mv stopped.tmp stopped.\$stops
    until [ -e resume.\$stops ]; do sleep 0.05; done
    commands=\$(<resume.\$stops)
    eval "\${commands:-fg}" >/dev/null
    rc=\$?
}
after_stop && after_stop && after_stop
exit \$rc
EOF

GAME_PID=""

# A test that fails while the game is stopped must not leave it behind.
kill_leftover_game() {
    [ -n "$GAME_PID" ] && [ "$(readlink "/proc/$GAME_PID/exe" 2>/dev/null)" = "$GAME" ] &&
        kill -KILL "$GAME_PID" 2>/dev/null
    return 0
}
trap 'rc=$?; kill_leftover_game; (exit "$rc"); teardown' EXIT

start_job() {
    kill_leftover_game
    GAME_PID=""
    stop_session
    rm -f "$WORK"/{status,before,after,err,game.pid,stopped-jobs} \
        "$WORK"/stopped.* "$WORK"/resume.*
    # The job shell's stderr stays on the terminal: bash takes it for the terminal whose
    # foreground it hands to its jobs. tmux starts the pane with SIGTTIN and SIGTTOU ignored,
    # and only an interactive shell would give its jobs their defaults back.
    start_game 80x45 "env -u BASH_ENV --default-signal=TTIN,TTOU bash jobs.sh"
    wait_for_board
    [ -s "$WORK/game.pid" ] || fail "the game's pid was not recorded"
    GAME_PID=$(<"$WORK/game.pid")
}

# The pane shows the terminal's own screen and nothing of the game's.
assert_game_screen_gone() {
    capture || fail "could not read the pane"
    screen_contains "$SHADE" && fail "the board is still showing $1"
    screen_contains SCORE && fail "the panel is still showing $1"
    return 0
}

# ---- signals that end the game -------------------------------------------------------------

# Dying of the signal, not merely exiting with its status, is what the job shell then reports
# on the terminal by the signal's name (for all but SIGINT, which it leaves unsaid).
for case in INT:130: TERM:143:Terminated HUP:129:Hangup QUIT:131:Quit; do
    IFS=: read -r sig status death <<<"$case"
    start_job
    kill -"$sig" "$GAME_PID" || fail "could not send SIG$sig to the game"
    wait_for_exit 5
    assert_status "$status"
    [ -z "$death" ] || screen_contains "$death" || fail "the game did not die of SIG$sig"
    assert_terminal_restored
    assert_game_screen_gone "after SIG$sig"
    [ -s "$WORK/err" ] && fail "the game wrote to stderr on SIG$sig: $(<"$WORK/err")"
    pass "SIG$sig: terminal given back, then the game dies of the signal (status $status)"
done

start_job
send_keys C-c
wait_for_exit 5
assert_status 130
assert_terminal_restored
assert_game_screen_gone "after Ctrl-C"
[ -s "$WORK/err" ] && fail "the game wrote to stderr on Ctrl-C: $(<"$WORK/err")"
pass "Ctrl-C typed: terminal given back, status 130"

# ---- suspending and resuming ---------------------------------------------------------------

process_state() {
    local stat
    stat=$(<"/proc/$GAME_PID/stat") 2>/dev/null || return 1
    stat=${stat##*) }
    echo "${stat%% *}"
}

# check_stopped N HOW: the game is stopped, and the terminal is as it was before the game.
check_stopped() {
    local n=$1 how=$2
    tick_clock
    local deadline=$((NOW_MS + 5000))
    until [ -s "$WORK/stopped.$n" ]; do
        game_ended && fail "the game ended on $how instead of stopping (status $(<"$WORK/status"))"
        tick_clock
        [ "$NOW_MS" -ge "$deadline" ] && fail "the game did not stop within 5 s of $how"
        sleep "$POLL_S"
    done
    # (t: stopped under strace)
    [[ $(process_state) == [Tt] ]] || fail "the game is not stopped after $how: '$(process_state)'"
    cmp -s "$WORK/before" "$WORK/stopped.$n" ||
        fail "line settings while stopped by $how: '$(<"$WORK/stopped.$n")'," \
            "before the game: '$(<"$WORK/before")'"
    [ "$(pane_format '#{alternate_on}')" = 0 ] || fail "the game's screen is still on after $how"
    [ "$(pane_format '#{cursor_flag}')" = 1 ] || fail "the cursor is hidden after $how"
    assert_game_screen_gone "while stopped by $how"
}

# resume N PLAYER_COL PLAYER_ROW: `fg`, and the whole game screen comes back. The pane had the
# shell's screen meanwhile, and the game's screen starts blank when it is switched back to:
# nothing but a full repaint shows all of it.
resume() {
    local n=$1
    : >"$WORK/resume.$n"
    wait_for_game_screen 10 "$2" "$3" "the whole game screen back after fg"
    [ "$(process_state)" != T ] || fail "the game is still stopped after fg"
    [ "$(pane_format '#{cursor_flag}')" = 0 ] || fail "the cursor shows after fg"
    # No waiting for curses to put the terminal back into keypad mode: an arrow typed at once
    # comes as the other form of its sequence, and must move the player all the same.
}

# Sets PHASE to how many steps mob 1 is into its round of 24, (1,3) -> (11,3) -> (11,5) ->
# (1,5) -> (1,3), from where the last capture shows it.
patroller_phase() {
    local row line col
    for row in 3 4 5; do
        line=${SCREEN[$row]:0:12}
        [[ $line == *A* ]] || continue
        col=${line%%A*}
        col=${#col}
        case $row in
        3) PHASE=$((col - 1)) ;;
        4) if ((col == 11)); then PHASE=11; else PHASE=23; fi ;;
        5) PHASE=$((23 - col)) ;;
        esac
        return 0
    done
    return 1
}

start_job
wait_until 5 "mob 1 on its round" patroller_phase
phase_before=$PHASE
before_ms=$(now_ms)
send_keys C-z
check_stopped 1 "Ctrl-Z"
stopped_ms=$(now_ms)
pass "Ctrl-Z: the game stops with the terminal as it was before it"

# `bg` wakes it in the background, where it must neither take the terminal (that would stop
# it again) nor play on. The time stopped or in the background does not count: after `fg`
# mob 1 walks on from where it was, at its pace, and does not run through the 12 steps it
# missed, one a frame.
echo 'bg; until [ -e fg ]; do sleep 0.05; done; fg' >"$WORK/resume.tmp"
mv "$WORK/resume.tmp" "$WORK/resume.1"
sleep 2.4
[[ $(process_state) == [RS] ]] || fail "after bg the game is '$(process_state)', not running"
assert_game_screen_gone "after bg"
resumed_ms=$(now_ms)
: >"$WORK/fg"
resume 1 1 1
sleep 1.5
wait_until 5 "mob 1 on its round" patroller_phase
due=$((($(now_ms) - before_ms - (resumed_ms - stopped_ms) + 100) / 200))
off=$(((PHASE - phase_before - due + 24 * 100 + 12) % 24 - 12))
((off >= -4 && off <= 2)) ||
    fail "mob 1 is $off steps off its pace after a stop of 2.4 s: the stop counted as play time"
pass "fg: mob 1 goes on at its pace, the time stopped left out ($off steps off)"

send_keys Right
wait_until 5 "the player at (2,1) after Right" only_player_at 2 1
pass "fg: the whole screen repainted, and the game still moves the player"

kill -TSTP "$GAME_PID" || fail "could not send SIGTSTP to the game"
check_stopped 2 "SIGTSTP"
resume 2 2 1
send_letter P
wait_until 5 "the player at (2,2) after P" only_player_at 2 2
pass "SIGTSTP sent with kill: stopped with the terminal given back; fg repaints, still playing"

send_keys Escape
wait_for_exit 5
assert_status 0
assert_terminal_restored
assert_game_screen_gone "after Escape"
[ -s "$WORK/err" ] && fail "the game wrote to stderr: $(<"$WORK/err")"
pass "Escape after two stops quits with status 0 and gives the terminal back"

game_gone() {
    local state
    state=$(process_state)
    [ -z "$state" ] || [ "$state" = Z ]
}

# A stopped game ended from the shell (`kill %1` sends the signal and then SIGCONT), also
# after `bg`, ends, and does not stop again for want of the terminal. (Which status bash then
# reports for the job depends on how its own bookkeeping races the kill; the signal tests
# above check the status.)
for how in "kill -TERM %1" "kill -HUP %1" "bg; sleep 1; kill %1"; do
    start_job
    send_keys C-z
    check_stopped 1 "Ctrl-Z"
    echo "$how; wait -f %1" >"$WORK/resume.tmp" && mv "$WORK/resume.tmp" "$WORK/resume.1"
    wait_until 5 "the game ended by $how" game_gone
    wait_for_exit 5
    assert_terminal_restored
    assert_game_screen_gone "after $how"
    pass "$how ends the stopped game, terminal as before"
done

# Ctrl-Z once the terminal is given back, while the game writes its replay (strace sends it as
# the new file is renamed into place): the game stops as any program would, and after `fg`
# finishes the replay. (LeakSanitizer cannot work under strace.)
echo "--record game.replay" >"$WORK/args"
ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0 start_job
strace -qq -p "$GAME_PID" -o /dev/null -e trace=rename -e inject=rename:signal=TSTP &
wait_until 5 "strace attached" grep -q 'TracerPid:[[:space:]]*[1-9]' "/proc/$GAME_PID/status"
send_keys Escape
check_stopped 1 "Ctrl-Z during the replay's last write"
: >"$WORK/resume.1"
wait_for_exit 5
assert_status 0
[ "$(tail -n 1 "$WORK/game.replay")" = "end escape" ] || fail "the replay was not finished"
rm "$WORK/args"
pass "Ctrl-Z after the terminal is given back stops the game; fg finishes its replay"

# ---- flow control --------------------------------------------------------------------------

start_job
send_keys C-s
sleep 0.5 # mob moves to draw meanwhile
send_keys Right
wait_until 5 "the player at (2,1) after Ctrl-S and Right" only_player_at 2 1
pass "Ctrl-S does not stop the game's output"

# Output stopped all the same (flow control turned back on behind the game's back): the game
# is stuck in a write and cannot act on a signal, but a second one ends it at once.
stty -F "$(pane_format '#{pane_tty}')" ixon || fail "could not turn flow control on"
send_keys C-s
sleep 0.5
kill -TERM "$GAME_PID"
sleep 0.3
kill -TERM "$GAME_PID"
wait_until 5 "the game gone after a second SIGTERM" game_gone
send_keys C-q
wait_for_exit 5
assert_status 143
cmp -s "$WORK/before" "$WORK/after" || fail "line settings not restored after a second SIGTERM"
pass "output stopped: a second SIGTERM ends the game at once, line settings restored"

# ---- a signal ignored from the start stays ignored -----------------------------------------

kill_leftover_game
stop_session
rm -f "$WORK"/{status,before,after,err,game.pid}
start_game 80x45 \
    "trap '' HUP; sh -c 'echo \$\$ > game.pid; exec \"\$0\"' $(printf '%q' "$GAME") 2>err"
wait_for_board
GAME_PID=$(<"$WORK/game.pid")
kill -HUP "$GAME_PID" || fail "could not send SIGHUP to the game"
sleep 1
game_ended && fail "the game died of SIGHUP that nohup had it ignore (status $(<"$WORK/status"))"
pass "started with SIGHUP ignored, as by nohup: SIGHUP does not end the game"

# Two quit signals at once (sent while the game is stopped, then SIGCONT): the second ends it
# from its handler, which must leave the game's screen as endwin would.
kill -STOP "$GAME_PID" && kill -TERM "$GAME_PID" && kill -INT "$GAME_PID" && kill -CONT "$GAME_PID"
wait_for_exit 5
assert_terminal_restored
pass "two quit signals at once: the game's screen left, keypad off, line settings restored"
