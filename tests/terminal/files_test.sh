# The game's files under faults: the replay file of --record, whatever stands in its place and
# whatever its folder allows, and a signal during its last write; the scores file locked by
# another, read on a read-only home, and flushed before it is renamed into place. Read-only
# cases run as nobody (root ignores mode bits), a full disk is a full tmpfs (in a mount
# namespace of the test's own), and strace sends a signal at the moment of a write.
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
    # FILE    folder ending status  FILE after, and the words on stderr
    "absent   rw     escape 0       new"
    "replay   rw     escape 0       new"
    "link     rw     escape 0       new"
    "fifo     rw     -      1       same it is not a regular file"
    "dangling rw     -      1       same gone.replay\", which is not there"
    "absent   rw     signal 143     new"
    "replay   rw     signal 143     new"
    "link     rw     signal 143     new"
    "replay   rw     twice  143     new"
    "absent   ro     -      1       same Permission denied"
    "replay   ro     -      1       same Permission denied"
    "link     ro     -      1       same Permission denied"
    "absent   full   escape 1       same No space left on device"
    "replay   full   escape 1       same No space left on device"
    "link     full   escape 1       same No space left on device"
    "absent   full   signal 143     same No space left on device"
    "replay   full   signal 143     same No space left on device"
)
# Every name in the folder with its type, mode, size and link target.
snapshot() { find "$dir" -mindepth 1 ! -name filler -printf '%P %y %m %s %l\n' | sort; }
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
    before=$(snapshot)
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
        # One quit as the new file is flushed, held there, and a second before it is renamed.
        [ "$ending" = twice ] && trace -e trace=fsync -e inject=fsync:signal=TERM:delay_exit=800000:when=1
        send_keys Escape
        [ "$ending" = twice ] && sleep 0.4 && kill -TERM "$GAME_PID"
        wait_for_exit 10
        wait
    fi
    assert_status "$status"
    { [ -z "$words" ] && [ ! -s err ]; } || grep -qF -- "$words" err || fail "$row: stderr '$(<err)'"
    if [ "$after" = same ]; then
        [ "$(snapshot)" = "$before" ] || fail "$row: the folder holds $(snapshot)"
    else
        [[ $(<"$file") == "dotmaze replay 1, game "*$'\nend escape' ]] || fail "$row: not a replay"
        # The same names, the link a link, the mode kept; a new file the player's alone.
        [ "$(snapshot | cut -d' ' -f1-3)" = "$(cut -d' ' -f1-3 <<<"${before:-game.replay f 600}")" ] ||
            fail "$row: the folder holds $(snapshot)"
    fi
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

# --scores as nobody makes nothing, on a read-only home or in a state folder of its own; a file
# it cannot read is status 1.
mkdir -p "$WORK"/{home,ro-state/dotmaze,rw-state/dotmaze}
cp "$state/scores" "$WORK/ro-state/dotmaze/" && cp "$state/scores" "$WORK/rw-state/dotmaze/"
chmod 644 "$WORK"/r?-state/dotmaze/scores && chown -R nobody "$WORK/rw-state"
for row in ":0:No games recorded yet." "ro-state:0:mapa.txt" "rw-state:0:mapa.txt" \
    "state:1:cannot read $state/scores: Permission denied"; do
    IFS=: read -r xdg status words <<<"$row"
    dir=$WORK/${xdg:-home} before=$(snapshot)
    env -u XDG_STATE_HOME HOME="$WORK/home" ${xdg:+XDG_STATE_HOME="$dir"} \
        "${as_nobody[@]}" "$GAME" --scores >out 2>&1
    STATUS=$?
    assert_status "$status"
    grep -qF -- "$words" out || fail "--scores on ${xdg:-home}: '$(<out)'"
    [ "$(snapshot)" = "$before" ] || fail "--scores on ${xdg:-home} made $(snapshot)"
    pass "--scores as nobody on ${xdg:-a read-only home}: status $status, $words"
done
