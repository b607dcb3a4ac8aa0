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
    maps_line=$(grep 'maps that come with the game' "$WORK/out") || fail "$help: no maps folder"
    [ -f "${maps_line##* }/mapa.txt" ] || fail "$help names a maps folder without mapa.txt"
    [ -s "$WORK/err" ] && fail "$help wrote to stderr"
done
pass "-h and --help: usage, keys and the maps folder on stdout, status 0, without a terminal"

version=$(sed -n 's/^project(dotmaze VERSION \([0-9.]*\).*/\1/p' "$MAPS_DIR/../CMakeLists.txt")
[ -n "$version" ] || fail "no version in CMakeLists.txt"
run_plain --version
assert_status 0
[ "$(<"$WORK/out")" = "dotmaze $version" ] || fail "--version printed '$(<"$WORK/out")'"
pass "--version prints \"dotmaze $version\", the project's version"

# ---- usage errors --------------------------------------------------------------------------

for args in "--bogus" "-x" "one.txt two.txt"; do
    # shellcheck disable=SC2086 # the words are the arguments
    run_plain $args
    assert_status 2
    grep -q '^Usage: dotmaze' "$WORK/err" || fail "'$args': no usage on stderr"
    [ -s "$WORK/out" ] && fail "'$args' wrote to stdout: $(<"$WORK/out")"
done
grep -q 'one map at a time' "$WORK/err" || fail "two maps: the reason is not given"
pass "an unknown option or two maps: status 2 and the usage on stderr"

# ---- checking a map ------------------------------------------------------------------------

run_plain --check "$MAPS_DIR/mapa.txt"
assert_status 0
grep -q '^[0-9]* dots$' "$WORK/out" || fail "--check printed no dot count: $(<"$WORK/out")"
grep -qE '^(error|warning):' "$WORK/out" && fail "--check finds fault with the shipped map"
run_plain --check nowhere.txt
assert_status 1
grep -q '"nowhere.txt"' "$WORK/err" || fail "--check of a missing map: $(<"$WORK/err")"
[ -s "$WORK/out" ] && fail "--check of a missing map printed a board"
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
