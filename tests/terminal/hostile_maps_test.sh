# "mapa.txt" as things that are not a map, or hardly one: a directory, a FIFO nobody writes
# to, a link to /dev/zero, a link to nothing, files just within and beyond the size limit, an
# empty file, binary junk. Each one either gets a game that runs and quits as usual, or a
# refusal that names the file and says why, exit status 1 and the terminal untouched; never a
# hang, a crash or a sanitizer report.
source "$(dirname "$0")/lib.sh" "$@"
term_setup hostile-maps

SEED=${JUNK_SEED:-1789}
echo "junk seed: $SEED (set JUNK_SEED to change it)"

# Clears the way for the next case: a new session and no files left from the last one.
restart() {
    stop_session
    rm -rf "$WORK/mapa.txt"
    rm -f "$WORK"/{status,before,after,err,out}
}

assert_err_mentions() {
    grep -qF -- "$1" "$WORK/err" || fail "stderr does not mention '$1': $(cat "$WORK/err")"
}

# The game ran into trouble of its own: a signal or a sanitizer's report.
assert_no_crash() {
    assert_no_sanitizer_report
    [ "$STATUS" -lt 128 ] || fail "the game died of signal $((STATUS - 128))"
}

# The game has ended: its status in STATUS, and no sign of a crash.
ended_without_crash() {
    STATUS=$(<"$WORK/status")
    assert_no_crash
}

board_or_end() {
    board_drawn || game_ended
}

# refused WHAT REASON: the game refuses the map within a few seconds without touching the
# terminal, naming mapa.txt and giving REASON.
refused() {
    start_game
    wait_until 10 "the game to refuse $1" board_or_end
    game_ended || fail "the game started on $1 instead of refusing it"
    wait_for_exit
    assert_no_crash
    assert_status 1
    assert_err_mentions '"mapa.txt"'
    assert_err_mentions "$2"
    assert_terminal_restored
    local line
    for line in "${SCREEN[@]}"; do
        [[ $line =~ ^\ *$ ]] || fail "the refusal of $1 wrote to the terminal: '$line'"
    done
    pass "$1: refused with \"$2\", status 1, terminal untouched"
}

# played WHAT [KEY]: the game starts on it and keeps running for a second while the mobs move
# about, then quits with status 0 on KEY (Escape by default), saying nothing on stderr.
played() {
    local what=$1 key=${2:-Escape}
    start_game
    wait_until 15 "a game on $what" board_or_end
    game_ended && ended_without_crash && fail "no game on $what: status $STATUS"
    sleep 1
    game_ended && ended_without_crash && fail "the game on $what ended by itself, status $STATUS"
    send_keys "$key"
    # A catch in that second makes the player blink for three seconds, keys waiting.
    wait_for_exit 10
    assert_no_crash
    assert_status 0
    assert_terminal_restored
    [ -s "$WORK/err" ] && fail "the game on $what wrote to stderr: $(<"$WORK/err")"
    pass "$what: played, then quit with status 0 on $key"
}

# ---- not regular files -----------------------------------------------------------------------

restart
mkdir "$WORK/mapa.txt"
refused "a directory" "it is a directory"

# Opening a FIFO would wait for a writer that never comes.
restart
mkfifo "$WORK/mapa.txt"
refused "a FIFO" "not a regular file"

# The name is followed: what counts is what the link points at.
restart
ln -s /dev/zero "$WORK/mapa.txt"
refused "a link to /dev/zero" "not a regular file"

restart
ln -s /proc/self/pagemap "$WORK/mapa.txt" # a size of 0, and gigabytes to read
refused "a map whose size shows as 0" "more than the limit of 1048576 bytes"

restart
ln -s "$WORK/nowhere" "$WORK/mapa.txt"
refused "a link to nothing" "No such file or directory"

# ---- size ----------------------------------------------------------------------------------

map_new
map_fence_off_lower_mobs
map_set 20 20 .

# A map followed by line feeds up to the size given: lines past the 32nd are not read.
padded_map() {
    map_write
    local have
    have=$(stat -c %s "$WORK/mapa.txt")
    head -c "$(($1 - have))" /dev/zero | tr '\0' '\n' >>"$WORK/mapa.txt"
    [ "$(stat -c %s "$WORK/mapa.txt")" = "$1" ] || fail "could not make a map of $1 bytes"
}

restart
padded_map 5000000
refused "a 5 MB file" "5000000 bytes long"

restart
padded_map $((1024 * 1024 + 1))
refused "a file one byte over 1 MiB" "1048577 bytes long"

restart
padded_map $((1024 * 1024))
played "a map padded to 1 MiB exactly"

# ---- hardly maps ---------------------------------------------------------------------------

# No walls at all, so no border: the mobs roam right up to the board's edges. No dots either,
# so the first key other than Escape wins.
restart
: >"$WORK/mapa.txt"
played "an empty file" x
screen_contains "Well done!" || fail "no \"Well done!\" after the first key on an empty board"
pass "an empty file is won by the first key"

# Random bytes, seeded. Ctrl-Z ends a map file, so the second lot has none, and is read to
# its end; the third starts with a first line of a few thousand spaces, each of which makes
# every line longer as far as the reader is concerned.
junk() {
    local count=$1 no_ctrl_z=$2 fmt="" b i
    for ((i = 0; i < count; ++i)); do
        b=$((RANDOM % 256))
        [ "$no_ctrl_z" = yes ] && [ "$b" = 26 ] && b=0
        printf -v b '\\x%02x' "$b"
        fmt+=$b
    done
    # shellcheck disable=SC2059 # the format is nothing but escapes
    printf "$fmt"
}

RANDOM=$SEED
restart
junk 4096 no >"$WORK/mapa.txt"
played "4 KiB of random bytes"

restart
junk 4096 yes >"$WORK/mapa.txt"
cmp -s <(tr -d '\032' <"$WORK/mapa.txt") "$WORK/mapa.txt" || fail "the junk has a Ctrl-Z in it"
played "4 KiB of random bytes without a Ctrl-Z"

restart
{
    head -c 3000 /dev/zero | tr '\0' ' '
    echo
    junk 2048 yes
} >"$WORK/mapa.txt"
played "3000 spaces, then random bytes"
