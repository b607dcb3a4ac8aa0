# A flood of 2,000 keys: printable bytes, the movement letters, arrow keys, Alt chords and
# whole or broken-off escape sequences (function keys, bracketed paste, mouse and terminal
# reports, a CSI or SS3 cut short). Every escape byte comes with the rest of its sequence, so
# nothing in the flood is a lone Escape: the game must not quit, must not take any of it for
# a move it is not, and must still answer afterwards; then a lone Escape quits.
#
# The player stays in row 1, where no mob goes: the flood has no key that moves down. Row 2 is
# a row of dots, so the step down that follows the flood eats the first dot, and shows that
# everything before it has been worked off.
#
# The flood is random but reproducible: FLOOD_SEED picks another one.
source "$(dirname "$0")/lib.sh" "$@"
term_setup key-flood

SEED=${FLOOD_SEED:-4242}
KEYS=2000
echo "flood seed: $SEED (set FLOOD_SEED to change it)"

map_new
map_hline 2 1 30 . # mob 1 keeps to rows 3-5
map_fence_off_lower_mobs
map_write

# ---- the flood -----------------------------------------------------------------------------

ESC=1b
# Whole sequences, in hex: keys a terminal sends (some the game has no use for) and reports
# it may send unasked. None of them moves the player.
SEQUENCES=(
    "$ESC 4f 50" "$ESC 4f 51" "$ESC 4f 52" "$ESC 4f 53" # F1-F4
    "$ESC 4f 48" "$ESC 4f 46"                  # Home, End in application mode
    "$ESC 5b 32 30 30 7e" "$ESC 5b 32 30 31 7e" # bracketed paste start, end
    "$ESC 5b 31 3b 35 43" "$ESC 5b 31 3b 32 41" # Ctrl-Right, Shift-Up
    "$ESC 5b 31 3b 32 50"                      # Shift-F1
    "$ESC 5b 33 7e" "$ESC 5b 35 7e" "$ESC 5b 31 35 7e" "$ESC 5b 32 34 7e" # Delete, PgUp, F5, F12
    "$ESC 5b 3c 30 3b 31 30 3b 35 4d"          # SGR mouse press
    "$ESC 5b 3f 31 3b 32 63"                   # device attributes report
    "$ESC 5b 32 34 3b 38 30 52"                # cursor position report
    "$ESC 5b 32 50"                            # CSI 2 P: its last byte is the down letter
    "$ESC 5b 48" "$ESC 5b 4b"                  # CSI H, CSI K: the up and left letters
)
# Sequences cut short. The key after one is a lower-case letter, which may or may not be
# taken for its last byte: either way nothing moves. (Cut short before another escape byte, a
# sequence may swallow that byte and leave the rest of the next key to be read as keys of
# their own, which no terminal would ever send.)
CUT=("$ESC 5b" "$ESC 5b 31 3b" "$ESC 5b 31 3b 35" "$ESC 4f")
# Alt chords: Escape, then a printable key at once. The movement letters among them must not
# move. (Escape twice is not one: it quits.)
ALT_KEYS=(48 4b 4d 50 61 7a 30 39 20 2f 7e)
# Printable bytes, bar '[' and 'O' (a following key would join them into a sequence), 'P'
# (down) and 'B' (SS3 B is the down arrow).
PRINTABLE=()
for ((b = 0x20; b < 0x7f; ++b)); do
    case $b in 91 | 79 | 80 | 66) continue ;; esac
    PRINTABLE+=("$(printf '%02x' "$b")")
done
MOVES=(48 4b 4d "$ESC 4f 41" "$ESC 4f 44" "$ESC 4f 43") # H K M, arrows up, left, right

RANDOM=$SEED
declare -a flood=()
frames=0 # keys the game works off one a frame, arrows two
after_cut=no
for ((i = 0; i < KEYS; ++i)); do
    r=$((RANDOM % 100))
    if [ "$after_cut" = yes ]; then
        flood+=("$(printf '%02x' $((0x61 + RANDOM % 26)))")
        frames=$((frames + 1))
        after_cut=no
    elif ((r < 10)); then
        flood+=("${PRINTABLE[RANDOM % ${#PRINTABLE[@]}]}")
        frames=$((frames + 1))
    elif ((r < 16)); then
        key=${MOVES[RANDOM % ${#MOVES[@]}]}
        flood+=("$key")
        if [ "${#key}" -gt 2 ]; then frames=$((frames + 2)); else frames=$((frames + 1)); fi
    elif ((r < 40)); then
        flood+=("$ESC ${ALT_KEYS[RANDOM % ${#ALT_KEYS[@]}]}")
    elif ((r < 50)) && ((i < KEYS - 1)); then
        flood+=("${CUT[RANDOM % ${#CUT[@]}]}")
        after_cut=yes
    else
        flood+=("${SEQUENCES[RANDOM % ${#SEQUENCES[@]}]}")
    fi
done

# ---- playing it ----------------------------------------------------------------------------

readout_is() {
    shows_at 3 35 "$1"
}

start_game
wait_for_board
only_player_at 1 1 || fail "the player does not start alone at (1,1)"

# A hundred keys to a tmux command: each key's bytes are written to the terminal together.
started=$(now_ms)
for ((i = 0; i < KEYS; i += 100)); do
    # shellcheck disable=SC2206 # the keys' hex bytes are meant to split into words
    bytes=(${flood[@]:i:100})
    tmux -L "$SOCK" send-keys -t "$SESSION" -H "${bytes[@]}" || fail "send-keys -H failed"
done
send_letter P
echo "flood sent in $(($(now_ms) - started)) ms; about $frames frames of keys to work off"

# The game works off one key a frame (40 ms): wait for the step down, with no life lost. Row 1
# has no dots, so until then nothing can be eaten, and the player cannot leave rows 1 and 2.
# (A breach must show twice running: a capture might catch a frame half drawn.)
breaches=0
stepped_down() {
    game_ended && fail "the game ended during the flood, status $(<"$WORK/status")"
    count_stars
    [ "$STARS" = 1 ] && shows_at 14 35 3 && readout_is 001/030 &&
        [[ ${SCREEN[2]:0:32} == *'*'* ]] && return 0
    local row below=no
    for ((row = 3; row < 32; ++row)); do
        [[ ${SCREEN[$row]:0:32} == *'*'* ]] && below=yes
    done
    if [ "$below" = yes ] || ! [[ ${SCREEN[35]:3:7} =~ ^(00[01]/030|$SHADE{7})$ ]]; then
        breaches=$((breaches + 1))
        ((breaches < 2)) || fail "keys of the flood moved the player down or ate dots"
    else
        breaches=0
    fi
    return 1
}
timeout_s=$((frames * 40 * 3 / 1000 + 15))
((timeout_s > 90)) && timeout_s=90
saved_poll=$POLL_S
POLL_S=0.2
wait_until "$timeout_s" "the step down after the flood (one dot eaten, the player in row 2)" \
    stepped_down
POLL_S=$saved_poll
echo "flood worked off $(($(now_ms) - started)) ms after it began"
row2=${SCREEN[2]:0:32}
col=${row2%%\**}
col=${#col}

# Had the flood let a move down through, that would have looked the same, but the rest of the
# flood would still be moving the player about. Nothing may change now, and the game is still
# there.
sleep 1
capture || fail "could not read the pane"
game_ended && fail "the game ended after the flood, status $(<"$WORK/status")"
only_player_at "$col" 2 && readout_is 001/030 ||
    fail "the screen still changes a second after the step down: keys of the flood moved down"
pass "$KEYS keys worked off, none of them a move down; the step down after them eats a dot"

if ((col > 1)); then send_letter K; next=$((col - 1)); else send_letter M; next=$((col + 1)); fi
moved_and_ate() {
    only_player_at "$next" 2 && readout_is 002/030
}
wait_until 5 "the player at ($next,2) and a second dot eaten" moved_and_ate
shows_at 14 35 3 || fail "a life was lost: the lives digit shows '$(cell 14 35)'"
pass "still answering: a move along row 2 eats a second dot"

send_keys Escape
wait_for_exit 10
assert_status 0
assert_terminal_restored
[ -s "$WORK/err" ] && fail "the game wrote to stderr: $(<"$WORK/err")"
pass "a lone Escape after the flood quits with status 0 and gives the terminal back"

# A paste longer than the key queue, then Escape: the keys past the queue's room may be lost,
# but the Escape must quit within a frame or two, not once the queue is worked off.
rm -f "$WORK/status"
start_game
wait_for_board
send_letter "$(printf 'a%.0s' {1..8000})"
send_keys Escape
wait_for_exit 2
assert_status 0
pass "Escape after a paste of 8,000 keys quits at once"
