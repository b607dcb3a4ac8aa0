# The game's files under faults. The replay file of --record, whatever stands in its place and
# whatever its folder allows, also with a signal during its last write; the scores file locked by
# another, on a read-only home, and put on disk before it is renamed into place. Read-only cases
# run as nobody (root ignores mode bits), a full disk is a full tmpfs, and a signal at the exact
# moment of a write is sent by strace as the game renames its new file into place.
# In a mount namespace of its own, so that the tmpfs goes with the test however it ends.
if [ "$(id -u)" = 0 ] && [ -z "${FILES_TEST_NS:-}" ] && unshare -m true 2>/dev/null; then
    FILES_TEST_NS=1 exec unshare -m --propagation private bash "$0" "$@"
fi
source "$(dirname "$0")/lib.sh" "$@"
term_setup files
trap 'rc=$?; umount "$WORK/full" 2>/dev/null; (exit "$rc"); teardown' EXIT
command -v strace >/dev/null || fail "strace is not installed"
as_nobody=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
chmod 755 "$WORK"
map_new
map_fence_off_lower_mobs
map_set 2 1 . # a right arrow wins
map_write
state=$WORK/state/dotmaze
mkdir -p "$WORK"/{rw,ro,full} "$state"
mount -t tmpfs -o size=64k tmpfs "$WORK/full" 2>/dev/null || echo "skip: no tmpfs, no full disk"

# play ARGS...: the game in a pane, its pid in GAME_PID, once its board shows. (LeakSanitizer
# cannot work under strace.)
play() {
    start_game 80x45 "ASAN_OPTIONS=detect_leaks=0 sh -c 'echo \$\$ >game.pid; exec \"\$0\" \"\$@\"' $(printf '%q ' "$GAME" "$@") 2>err"
    wait_for_board
    GAME_PID=$(<"$WORK/game.pid")
}
# trace ARGS...: strace on the game from now until it ends, its lines in "trace".
trace() {
    strace -qq -p "$GAME_PID" -o "$WORK/trace" "$@" &
    wait_until 5 "strace attached" grep -q 'TracerPid:[[:space:]]*[1-9]' "/proc/$GAME_PID/status"
}

# ---- the replay file -----------------------------------------------------------------------

old=$'dotmaze replay 1, game 0.9\n' # enough of a replay to be replaced by one
rows=(
    # FILE    folder ending status  then FILE is, and the words on stderr
    "absent   rw     escape 0       new"
    "replay   rw     escape 0       new"
    "link     rw     escape 0       new"
    "fifo     rw     -      1       fifo it is not a regular file"
    "dangling rw     -      1       dangling gone.replay\", which is not there"
    "absent   rw     signal 143     new"
    "replay   rw     signal 143     new"
    "link     rw     signal 143     new"
    "absent   ro     -      1       absent Permission denied"
    "replay   ro     -      1       old Permission denied"
    "link     ro     -      1       old Permission denied"
    "absent   full   escape 1       absent No space left on device"
    "replay   full   escape 1       old No space left on device"
    "link     full   escape 1       old No space left on device"
    "absent   full   signal 143     absent No space left on device"
    "replay   full   signal 143     old No space left on device"
)
for row in "${rows[@]}"; do
    read -r kind folder ending status after words <<<"$row"
    [ "$folder" != full ] || mountpoint -q "$WORK/full" || continue
    dir=$WORK/$folder file=$WORK/$folder/game.replay
    rm -rf "${dir:?}"/* && cd "$dir" || fail "cannot empty $dir"
    case $kind in
    replay) printf %s "$old" >game.replay && chmod 640 game.replay ;;
    link) printf %s "$old" >old.replay && chmod 640 old.replay && ln -s old.replay game.replay ;;
    fifo) mkfifo game.replay ;;
    dangling) ln -s gone.replay game.replay ;;
    esac
    before=$(ls | sort)
    [ "$folder" = full ] && dd if=/dev/zero of=filler bs=4k 2>/dev/null
    cd "$WORK" || exit 1
    if [ "$ending" = - ]; then # refused before the game: no terminal needed
        runner=()
        [ "$folder" = ro ] && runner=("${as_nobody[@]}")
        "${runner[@]}" "$GAME" --record "$folder/game.replay" mapa.txt </dev/null >out 2>err
        STATUS=$?
    else
        play --record "$folder/game.replay" mapa.txt
        # As the new file goes into place, or is removed after a failed write.
        call=$([ "$folder" = full ] && echo unlink || echo rename)
        [ "$ending" = signal ] && trace -e trace="$call" -e inject="$call":signal=TERM
        send_keys Escape
        wait_for_exit 10
        wait
    fi
    assert_status "$status"
    { [ -z "$words" ] && [ ! -s err ]; } || grep -qF -- "$words" err || fail "$row: stderr '$(<err)'"
    left=$(cd "$dir" && ls | grep -vx filler | sort)
    mode=$(stat -L -c %a "$file" 2>/dev/null)
    case $after in
    new) [[ $(<"$file") == "dotmaze replay 1, game "*$'\nend escape' ]] ||
        fail "$row: the replay is '$(head -c 200 "$file")'"
        [ "$mode" = "$([ "$kind" = absent ] && echo 600 || echo 640)" ] || fail "$row: mode $mode"
        [ "$left" = "$(sort <<<"$before"$'\ngame.replay' | uniq | grep .)" ] || fail "$row: $left"
        [ "$kind" != link ] || [ -L "$file" ] || fail "$row: the link is gone" ;;
    old) [ "$(cat "$file"; echo .)" = "$old." ] && [ "$mode" = 640 ] || fail "$row: FILE changed" ;;
    absent) [ ! -e "$file" ] || fail "$row: a file is left" ;;
    fifo) [ -p "$file" ] || fail "$row: the FIFO is gone" ;;
    dangling) [ -L "$file" ] && [ ! -e "$file" ] || fail "$row: the link changed" ;;
    esac
    [ "$left" = "$before" ] || [ "$after" = new ] || fail "$row: left behind: $left"
    pass "--record onto $kind in a $folder folder, $ending: status $status, FILE $after"
done

# ---- the scores file -----------------------------------------------------------------------

# Held by another: the game waits two seconds at most, and not at all once a quit comes; then
# it dies of the quit, the line said.
flock -F "$state/scores.lock" sleep 60 &
holder=$!
for quit in "" INT; do
    play mapa.txt
    send_keys Right
    wait_for_text "Well done!" 5
    [ -n "$quit" ] && sleep 1 && kill -"$quit" "$GAME_PID" # the win's pause is half a second
    sent=$(now_ms)
    wait_for_exit 5
    elapsed=$(($(now_ms) - sent))
    assert_status "$([ -n "$quit" ] && echo 130 || echo 0)"
    wait_for_text "3 lives left: not saved: the scores file is busy" 2
    if [ -n "$quit" ]; then late=$((elapsed > 1000)); else late=$((elapsed < 2000 || elapsed > 3500)); fi
    [ "$late" = 0 ] || fail "ended ${elapsed} ms after the ${quit:-win}"
    pass "scores file busy${quit:+, then SIG$quit}: ends ${elapsed} ms after the ${quit:-win}, not saved"
done
kill "$holder"
wait

# A crash after the rename must find the new file on disk: it is flushed before.
play mapa.txt
trace -y -e trace=fsync,rename
send_keys Right
wait_for_exit 5
wait
awk '/^fsync\(.*scores\.new-.* = 0$/ { synced = 1 }
     /^rename\(.*scores\.new-.*scores"\) = 0$/ { renamed = synced; exit }
     END { exit !renamed }' "$WORK/trace" || fail "no fsync before the rename: $(<"$WORK/trace")"
pass "the scores file is flushed to disk before it is renamed into place"

# --scores as nobody: nothing made on a read-only home; a file it cannot read is status 1.
mkdir -p "$WORK/home" "$WORK/ro-state/dotmaze"
cp "$state/scores" "$WORK/ro-state/dotmaze/"
chmod 644 "$WORK/ro-state/dotmaze/scores"
for row in ":0:No games recorded yet." "ro-state:0:mapa.txt" \
    "state:1:cannot read $state/scores: Permission denied"; do
    IFS=: read -r xdg status words <<<"$row"
    env -u XDG_STATE_HOME HOME="$WORK/home" ${xdg:+XDG_STATE_HOME="$WORK/$xdg"} \
        "${as_nobody[@]}" "$GAME" --scores >out 2>&1
    STATUS=$?
    assert_status "$status"
    grep -qF -- "$words" out || fail "--scores on ${xdg:-home}: '$(<out)'"
    [ -z "$(ls -A "$WORK/home")" ] && [ ! -e "$WORK/ro-state/dotmaze/scores.lock" ] ||
        fail "--scores on ${xdg:-home} made a file"
    pass "--scores as nobody on ${xdg:-a read-only home}: status $status, $words"
done
