# The command line: help, version and --check need no terminal, a usage error is
# status 2 with the usage on stderr, and a map named on the command line is the one played.
source "$(dirname "$0")/lib.sh" "$@"
term_setup command_line

# run_plain ARG...: the game with no terminal at all; its output in out and err, its status
# in STATUS.
run_plain() {
    STATUS=0
    (cd "$WORK" && "$GAME" "$@" </dev/null >out 2>err) || STATUS=$?
}

# ---- help and version, piped -------------------------------------------------------------

for help in -h --help; do
    run_plain "$help"
    assert_status 0
    grep -q '^Usage: dotmaze \[MAP\]' "$WORK/out" || fail "$help: no usage line"
    grep -q -- '--check' "$WORK/out" || fail "$help: --check is not described"
    grep -q 'Escape' "$WORK/out" || fail "$help: the keys are not described"
    for word in Ctrl-Z 'man dotmaze' '^ *-- '; do
        grep -q -- "$word" "$WORK/out" || fail "$help does not mention $word"
    done
    maps_line=$(grep 'maps that come with the game' "$WORK/out") || fail "$help: no maps folder"
    [ -f "${maps_line##* }/mapa.txt" ] || fail "$help names a maps folder without mapa.txt"
    [ -s "$WORK/err" ] && fail "$help wrote to stderr"
done
pass "-h and --help: usage, keys, --, Ctrl-Z, the manual and the maps folder on stdout, status 0"

version=$(sed -n 's/^project(dotmaze VERSION \([0-9.]*\).*/\1/p' "$MAPS_DIR/../CMakeLists.txt")
[ -n "$version" ] || fail "no version in CMakeLists.txt"
run_plain --version
assert_status 0
[ "$(<"$WORK/out")" = "dotmaze $version" ] || fail "--version printed '$(<"$WORK/out")'"
pass "--version prints \"dotmaze $version\", the project's version"

# ---- usage errors --------------------------------------------------------------------------

# ARGS|REASON: the reason on stderr is ours alone (no getopt line of its own), then the usage.
while IFS='|' read -r args reason; do
    # shellcheck disable=SC2086 # the words are the arguments
    run_plain $args
    assert_status 2
    [ "$(head -n 1 "$WORK/err")" = "dotmaze: $reason" ] || fail "'$args' said: $(<"$WORK/err")"
    [ "$(sed -n '2p' "$WORK/err")" = "Usage: dotmaze [MAP]..." ] || fail "'$args': no usage after"
    [ -s "$WORK/out" ] && fail "'$args' wrote to stdout: $(<"$WORK/out")"
done <<'END'
--bogus|unknown option --bogus
--b[2J|unknown option --b\x1b[2J
-|unknown option -\x1b
-x|unknown option -x
--check -xy|unknown option -x
--help=foo|option --help takes no argument
--quiet x.txt|--quiet goes with --check
--edit a.txt b.txt|--edit takes exactly one MAP
--edit --check a.txt|--check, --edit, --record, --replay and --scores go one at a time
--replay x --speed 17|--speed goes with --replay, and N is 1 to 16
--replay x --speed 0|--speed goes with --replay, and N is 1 to 16
--cast a.cast x.txt|--cast goes with --replay, and OUT is a file name or "-"
--replay a.replay --cast=|--cast goes with --replay, and OUT is a file name or "-"
--record a.replay --cast a.cast|--cast goes with --replay, and OUT is a file name or "-"
END
pass "a usage error: status 2, our reason naming the option as typed, then the usage on stderr"

for speed in 1 16; do # the ends of the range: taken, so the replay is looked for
    run_plain --replay nowhere.replay --speed "$speed"
    assert_status 1
    grep -q 'cannot open the replay "nowhere.replay"' "$WORK/err" || fail "--speed $speed: $(<"$WORK/err")"
done
pass "--speed 1 and --speed 16 are taken"

for args in --help "--check $MAPS_DIR/mapa.txt"; do
    # shellcheck disable=SC2086 # the words are the arguments
    (cd "$WORK" && "$GAME" $args >/dev/full 2>err) && fail "'$args' >/dev/full: status 0"
    grep -q 'write error on standard output' "$WORK/err" || fail "'$args' >/dev/full: no error"
done
pass "--help and --check to a full disk: the write error on stderr, status 1"

# ---- checking a map ------------------------------------------------------------------------

run_plain --check "$MAPS_DIR/mapa.txt"
assert_status 0
grep -q '^[0-9]* dots$' "$WORK/out" || fail "--check printed no dot count: $(<"$WORK/out")"
grep -qE '^(error|warning):' "$WORK/out" && fail "--check finds fault with the shipped map"
run_plain --check nowhere.txt
assert_status 1
grep -q '"nowhere.txt"' "$WORK/err" || fail "--check of a missing map: $(<"$WORK/err")"
[ -s "$WORK/out" ] && fail "--check of a missing map printed a board"
if [ -r /proc/self/pagemap ]; then # its size shows as 0, and it holds gigabytes
    run_plain --check /proc/self/pagemap
    assert_status 1
    grep -q 'more than the limit of 1048576 bytes' "$WORK/err" || fail "pagemap: $(<"$WORK/err")"
fi
map_new
map_set 20 20 .
map_hline 19 19 21 X
map_hline 21 19 21 X
map_set 19 20 X
map_set 21 20 X
map_write
run_plain --check # mapa.txt in the current directory
assert_status 1
grep -q '^error: .*(20, 20)' "$WORK/out" || fail "--check did not name the walled-off dot"
pass "--check: a good map passes, a missing one is refused, a walled-off dot is an error"
run_plain --check --quiet "$MAPS_DIR/mapa.txt" mapa.txt nowhere.txt
assert_status 1
grep -q 'dots$' "$WORK/out" && fail "--quiet printed a board: $(<"$WORK/out")"
[ "$(grep -c ': no errors, no warnings$\|^mapa.txt: 1 error' "$WORK/out")" = 2 ] ||
    fail "--check of several maps: $(<"$WORK/out")"
grep -q '"nowhere.txt"' "$WORK/err" || fail "--check of several maps, one missing: $(<"$WORK/err")"
pass "--check --quiet of several maps: findings and a summary for each, status 1 for one error"

# ---- a map named on the command line -------------------------------------------------------

# Named "-x", so that only "--" keeps it from being read as an option; and no mapa.txt in the
# directory, so that the game can only be playing the map it was given.
map_new
map_fence_off_lower_mobs
map_set 6 1 .
map_set 2 2 X
printf '%s\n' "${MAP[@]}" >"$WORK/-x"
start_game 80x45 "$(printf '%q' "$GAME") -- -x 2>err"
wait_for_game_screen 10 1 1 "the board of the map named on the command line"
send_keys Escape
wait_for_exit
assert_status 0
assert_terminal_restored
pass "dotmaze -- -x plays the map in the file -x"
