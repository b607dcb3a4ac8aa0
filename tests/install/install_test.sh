# What a user gets from `cmake --install` and from the packages of a built tree: the files
# where a Unix game keeps them and nothing else, the installed game playing the installed
# map, a man page that renders without a warning, and a Debian package of the same files
# with its section and the ncurses runtime among its dependencies.
#     install_test.sh BUILD_DIR SOURCE_DIR INSTALL_PREFIX VERSION
build=$1 source=$2 prefix=$3 version=$4
# The tmux harness; the game it runs is the installed one, named in start_game.
source "$source/tests/terminal/lib.sh" "$build/dotmaze" "$source/maps"
term_setup install

# ---- cmake --install -----------------------------------------------------------------------

dest=$WORK/dest
DESTDIR=$dest cmake --install "$build" >"$WORK/install.log" 2>&1 ||
    fail "cmake --install failed: $(cat "$WORK/install.log")"

# Files (and links) under a folder, one relative path a line, sorted.
list_files() {
    (cd "$1" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
}

expected=$WORK/expected
{
    echo "${prefix#/}/games/dotmaze"
    printf '%s\n' "${prefix#/}/share/doc/dotmaze/"{README.md,changelog.gz,copyright}
    for map in "$source"/maps/*.txt; do
        echo "${prefix#/}/share/games/dotmaze/maps/${map##*/}"
    done
    echo "${prefix#/}/share/man/man6/dotmaze.6.gz"
} | LC_ALL=C sort >"$expected"
list_files "$dest" >"$WORK/installed"
diff "$expected" "$WORK/installed" >"$WORK/diff" ||
    fail "the install tree differs from the layout (< missing, > not expected): $(cat "$WORK/diff")"
for map in "$source"/maps/*.txt; do
    cmp -s "$map" "$dest$prefix/share/games/dotmaze/maps/${map##*/}" || fail "${map##*/} was not installed as it is"
done
pass "cmake --install: the game, every map, the man page and the README, and nothing else"

# The game installed under the folder $1 names that install's maps in --help and plays them.
plays_own_maps() {
    local maps=$(cd "$1" && pwd -P)/share/games/dotmaze/maps
    "$1/games/dotmaze" --help | grep -qxF "The maps that come with the game are in $maps" ||
        fail "$2: --help does not name $maps"
    start_game 80x45 "$(printf '%q ' "$1/games/dotmaze" "$maps/mapa.txt") 2>err"
    wait_for_board
    send_keys Escape
    wait_for_exit
    assert_status 0
    pass "$2: names its own maps and plays mapa.txt from them"
}
cmake --install "$build" --prefix "$WORK/prefix" >"$WORK/install.log" 2>&1 ||
    fail "cmake --install --prefix failed: $(cat "$WORK/install.log")"
plays_own_maps "$WORK/prefix" "installed with --prefix"

# ---- the man page --------------------------------------------------------------------------

page=$WORK/dotmaze.6
gzip -dc "$dest$prefix/share/man/man6/dotmaze.6.gz" >"$page"
warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
[ -z "$warnings" ] || fail "groff warns about the man page: $warnings"
for section in NAME SYNOPSIS DESCRIPTION KEYS "MAP FILES" FILES "EXIT STATUS" EXAMPLES "SEE ALSO"; do
    grep -qx "\.SH \"*$section\"*" "$page" || fail "the man page has no $section section"
done
grep -qF "$prefix/share/games/dotmaze/maps" "$page" || fail "the man page does not name the maps folder"
grep -qF "$prefix/share/doc/dotmaze/README.md" "$page" || fail "the man page names no README"
for map in "$source"/maps/*.txt; do
    grep -qx ".I ${map##*/}" "$page" || fail "the man page does not list ${map##*/}"
done
pass "the man page renders without a warning, has its sections and lists every map"

# ---- the packages --------------------------------------------------------------------------

packages=$WORK/packages
(cd "$build" && cpack --config CPackConfig.cmake -G "DEB;TGZ" -B "$packages") \
    >"$WORK/cpack.log" 2>&1 || fail "cpack failed: $(cat "$WORK/cpack.log")"
deb=$packages/dotmaze_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no ${deb##*/}; CPack made: $(ls "$packages")"

field() {
    dpkg-deb --field "$deb" "$1"
}
[ "$(field Section)" = games ] || fail "the package's section is '$(field Section)', not games"
depends=$(field Depends)
[[ $depends =~ (^|[ ,])libncursesw6([ ,]|$) ]] ||
    fail "the package's Depends does not name the ncurses runtime: '$depends'"
[ "$(field Description | wc -l)" -gt 1 ] || fail "the package has no long description"
lintian --fail-on error,warning "$deb" >"$WORK/lintian" 2>&1 || fail "lintian: $(cat "$WORK/lintian")"

# The package holds exactly what cmake --install puts down.
mkdir "$WORK/deb"
dpkg-deb --extract "$deb" "$WORK/deb" || fail "dpkg-deb could not unpack ${deb##*/}"
list_files "$WORK/deb" >"$WORK/in-deb"
diff <(sed "s|^${prefix#/}/|usr/|" "$expected") "$WORK/in-deb" >"$WORK/diff" ||
    fail "the package's files differ from the install (< missing, > not expected): $(cat "$WORK/diff")"
grep -qx 'License: Expat' "$WORK/deb/usr/share/doc/dotmaze/copyright" ||
    fail "the package's copyright file does not give the Expat licence"
readelf -S "$WORK/deb/usr/games/dotmaze" | grep -q '\.comment' && fail "the packaged game keeps its .comment section"
pass "${deb##*/}: section games, Depends: $depends, Expat; the binary, the maps, the man page"

tarball=$(ls "$packages"/dotmaze-"$version"-*.tar.gz 2>/dev/null)
[ -f "$tarball" ] || fail "no dotmaze-$version-*.tar.gz; CPack made: $(ls "$packages")"
mkdir "$WORK/tgz"
tar -xzf "$tarball" -C "$WORK/tgz" || fail "could not unpack ${tarball##*/}"
list_files "$WORK/tgz"/dotmaze-"$version"-* >"$WORK/in-tgz"
diff <(sed "s|^${prefix#/}/||" "$expected") "$WORK/in-tgz" >"$WORK/diff" ||
    fail "the tarball's files differ from the install: $(cat "$WORK/diff")"
pass "${tarball##*/}: the same files"
plays_own_maps "$WORK"/tgz/dotmaze-"$version"-* "${tarball##*/} unpacked"
