# The first screen on the shipped map: the board cell for cell, the player and the three mobs
# where they start, and the panel with its labels; the lives digit arrives with the first mob
# tick and the score readout only with the first key.
source "$(dirname "$0")/lib.sh" "$@"
term_setup first-frame

[ -f "$MAPS_DIR/mapa.txt" ] || fail "no shipped map at $MAPS_DIR/mapa.txt"
cp "$MAPS_DIR/mapa.txt" "$WORK/mapa.txt"

# What each board row should look like, from the file: walls shaded, dots as dots, anything
# else open floor.
mapfile -t map_lines < <(tr -d '\r' <"$WORK/mapa.txt")
[ "${#map_lines[@]}" -ge 32 ] || fail "the shipped map has only ${#map_lines[@]} lines"
declare -a expected=()
dots=0
for ((row = 0; row < 32; ++row)); do
    line=${map_lines[$row]}
    [ "${#line}" = 32 ] || fail "line $row of the shipped map is ${#line} long, not 32"
    only_dots=${line//[!.]/}
    dots=$((dots + ${#only_dots}))
    line=${line//[!X.]/ }
    expected+=("${line//X/$SHADE}")
done
line=${expected[1]}
expected[1]="${line:0:1}*${line:2}"

blank80=$(printf ' %.0s' {1..80})
shade68=$(printf "$SHADE%.0s" {1..68})
shaded() {
    printf "$SHADE%.0s" $(seq "$1")
}

start_game
wait_for_board
# Look at once: the mobs start moving 200 ms after the first frame.
capture || fail "could not read the pane"
first=("${SCREEN[@]}")

# ---- the board -----------------------------------------------------------------------------

# Mob 1 stays in rows 3-5 for its first laps; the others move at most a cell per tick (mob 3
# every other tick), so a look within the first half second finds each of them in a small
# square around its start. Each zone must hold exactly one mob; every other cell must be the
# map's.
zone_of() {
    local col=$1 row=$2
    if ((row >= 3 && row <= 5 && col >= 1 && col <= 11)); then
        ZONE=1
    elif ((row >= 26 && row <= 30 && col >= 1 && col <= 4)); then
        ZONE=2
    elif ((row >= 26 && row <= 30 && col >= 26 && col <= 30)); then
        ZONE=3
    else
        ZONE=0
    fi
}

declare -A mobs_in=([1]=0 [2]=0 [3]=0)
for ((row = 0; row < 32; ++row)); do
    # Cell by cell only where the row differs: a busy machine makes this loop slow.
    [ "${SCREEN[$row]:0:32}" = "${expected[$row]}" ] || for ((col = 0; col < 32; ++col)); do
        got=${SCREEN[$row]:col:1}
        want=${expected[$row]:col:1}
        [ "$got" = "$want" ] && continue
        zone_of "$col" "$row"
        if [ "$got" = A ] && [ "$ZONE" != 0 ]; then
            mobs_in[$ZONE]=$((mobs_in[$ZONE] + 1))
            continue
        fi
        fail "board cell ($col,$row) shows '$got', the map has '$want'"
    done
    rest=${SCREEN[$row]:32}
    [[ $rest =~ ^\ *$ ]] || fail "row $row has something right of the board: '$rest'"
done
for zone in 1 2 3; do
    [ "${mobs_in[$zone]}" = 1 ] ||
        fail "${mobs_in[$zone]} mobs near mob $zone's start, expected one"
done
pass "the board matches the map, the player at (1,1), one mob near each start"
[ "$(pane_format '#{cursor_flag}')" = 0 ] || fail "the cursor shows during play"
pass "the cursor is hidden during play"

# Seen early enough, the mobs are exactly on their starting cells. Not a failure otherwise:
# a busy machine may look late.
if shows_at 1 3 A && shows_at 1 29 A && shows_at 29 29 A; then
    pass "mobs seen on (1,3), (1,29) and (29,29)"
else
    echo "note: looked too late to see all three mobs on their starting cells"
fi

# ---- the panel -----------------------------------------------------------------------------

panel_row_is() {
    local row=$1 want=$2
    [ "${SCREEN[$row]}" = "$want${blank80:${#want}}" ] ||
        fail "panel row $row is '${SCREEN[$row]}', expected '$want'"
}

# Rows 33-39 are shaded from column 2 to 69; row 34 carries the labels; row 35 the readouts,
# of which the lives digit may already be there and the score is not.
check_panel() {
    local lives=$1
    [[ ${SCREEN[32]} =~ ^\ *$ ]] || fail "row 32 is not blank: '${SCREEN[32]}'"
    panel_row_is 33 "  $shade68"
    panel_row_is 34 "  $SHADE${SHADE}SCORE$(shaded 3)LIVES$(shaded 53)"
    panel_row_is 35 "  $(shaded 12)$lives$(shaded 55)"
    local row
    for row in 36 37 38 39; do panel_row_is "$row" "  $shade68"; done
    for ((row = 40; row < ${#SCREEN[@]}; ++row)); do
        [[ ${SCREEN[$row]} =~ ^\ *$ ]] || fail "row $row below the panel is not blank"
    done
}

SCREEN=("${first[@]}")
lives_now=$(cell 14 35)
[ "$lives_now" = 3 ] || lives_now=$SHADE # not yet written if no tick has run
check_panel "$lives_now"
pass "the panel: shaded box, SCORE and LIVES labels, no score readout yet"

lives_are() {
    shows_at 14 35 "$1"
}
wait_until 5 "the lives digit 3 at (14,35)" lives_are 3
sleep 0.5
capture
check_panel 3
pass "the lives digit is 3 after the first ticks, and the mob ticks leave the score alone"

# ---- the first key -------------------------------------------------------------------------

# Lower-case letters do not move the player, but any key brings up the score readout.
send_letter p
printf -v readout '000/%03d' "$dots"
wait_until 5 "the score readout $readout" shows_at 3 35 "$readout"
shows_at 1 1 '*' || fail "the player moved on lower-case p"
pass "the first key writes the readout $readout"

send_keys Escape
wait_for_exit 5
assert_status 0
assert_terminal_restored
[ -s "$WORK/err" ] && fail "the game wrote to stderr: $(<"$WORK/err")"
pass "Escape leaves with status 0"

# ---- outside a UTF-8 locale ----------------------------------------------------------------

# Walls are the terminal's own checkerboard: the letter 'a' of its line-drawing set, which
# tmux keeps between shift-out and shift-in and shows as a shaded block.
checkerboard_top_row() {
    local row
    row=$(tmux -L "$SOCK" capture-pane -e -p -t "$SESSION" -S 0 -E 0) || return 1
    [ "${row%$'\017'}" = $'\016'"$(printf 'a%.0s' {1..32})" ]
}
stop_session
rm -f "$WORK"/{status,before,after,err}
start_game 80x45 "LANG=C $(printf '%q' "$GAME") 2>err"
wait_until 10 "the top row of walls drawn as the checkerboard under LANG=C" checkerboard_top_row
screen_contains '?' && fail "something is drawn as '?' under LANG=C"
send_keys Escape
wait_for_exit 5
assert_status 0
assert_terminal_restored
pass "LANG=C: walls drawn as the terminal's checkerboard"
