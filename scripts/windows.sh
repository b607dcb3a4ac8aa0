#!/usr/bin/env bash
# Cross-builds the game and its unit tests for 64-bit Windows with MinGW-w64, checks that
# dotmaze.exe needs no DLL but Windows' own, runs the unit tests under wine, and then the real
# dotmaze.exe on a wine console, end to end.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/setup.sh"
ensure_packages cmake make g++-mingw-w64-x86-64-posix wine64 googletest tmux unzip file

# ---- only the seam touches the system -------------------------------------------------------

# The game's own code includes standard C++ headers (no ".h", no folder) and getopt.h only;
# a POSIX or Windows header there would break one of the two builds.
system_headers="$(cd "$root" && grep -Hn '^[[:space:]]*#[[:space:]]*include[[:space:]]*<' \
    src/main.cpp src/check/* src/edit/* src/run/* src/history/* src/game/* src/mobs/* \
    src/console/buffer.* src/console/inputs.* src/console/outputs.* src/console/playback.* \
    src/console/tape.* |
    grep -Ev '<[a-z_0-9]+>|<getopt\.h>' || true)"
if [ -n "$system_headers" ]; then
    echo "windows: the game's own code includes system headers; keep them in the seam:" >&2
    echo "$system_headers" >&2
    exit 1
fi

build="$root/build-windows"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DDOTMAZE_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target dotmaze unit_tests console_driver

# ---- the game: one 64-bit executable, nothing to ship beside it -------------------------------

game="$build/dotmaze.exe"
objdump=x86_64-w64-mingw32-objdump
if ! "$objdump" -f "$game" | grep -q 'file format pei-x86-64'; then
    echo "windows: $game is not a 64-bit Windows (PE32+) executable" >&2
    exit 1
fi
dlls="$("$objdump" -p "$game" | awk '/DLL Name:/ { print $3 }')"
echo "dotmaze.exe imports: $(echo $dlls)"
foreign="$(echo "$dlls" | grep -Eiv '^(kernel32|user32|advapi32|gdi32|shell32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$' || true)"
if [ -n "$foreign" ]; then
    echo "windows: dotmaze.exe needs DLLs that Windows does not have: $(echo $foreign)" >&2
    exit 1
fi

# ---- the release archive: the exe, the maps with mapa.txt beside it, a README for Notepad ----

rm -f "$build"/dotmaze-*-win64.zip
if ! (cd "$build" && cpack -G ZIP) >"$build/cpack.log" 2>&1; then
    cat "$build/cpack.log" >&2
    echo "windows: CPack could not make the zip" >&2
    exit 1
fi
zip="$(ls "$build"/dotmaze-*-win64.zip)"
top="$(basename "$zip" .zip)"
listing="$(unzip -Z1 "$zip")"
for member in dotmaze.exe mapa.txt README.txt LICENSE.txt maps/mapa.txt; do
    grep -qx "$top/$member" <<<"$listing" || {
        echo "windows: $zip has no $member:" >&2
        echo "$listing" >&2
        exit 1
    }
done
for text in README.txt LICENSE.txt; do
    unzip -p "$zip" "$top/$text" >"$build/check.txt"
    file "$build/check.txt" | grep -q 'CRLF line terminators' || {
        echo "windows: $text in the zip does not have CR LF line ends" >&2
        exit 1
    }
done
echo "Release archive: $zip"

# ---- the unit tests under wine ------------------------------------------------------------------

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
export WINEPREFIX="$build/wine" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no .NET or browser engine: nothing to offer to install
unset DISPLAY WAYLAND_DISPLAY # no windows wanted, and CI has no screen to put them on
trap '"$wineserver" -k 2>/dev/null || true' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Setting up a wine prefix in $WINEPREFIX"
    if ! timeout 300 "$wine" wineboot --init >"$build/wineboot.log" 2>&1; then
        echo "windows: wineboot failed; see $build/wineboot.log" >&2
        exit 1
    fi
fi

log="$build/unit_tests.log"
status=0
# From a directory on the Unix side, so that the tests' Unix paths (the maps) resolve on Z:.
(cd "$build/tests" && timeout 900 "$wine" unit_tests.exe) 2>&1 | tr -d '\r' >"$log" || status=$?
ran="$(sed -n 's/^\[==========\] \([0-9]*\) tests\{0,1\} from .* ran\..*/\1/p' "$log")"
passed="$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log")"
if [ "$status" -ne 0 ] || [ -z "$ran" ] || [ "$ran" != "${passed:-}" ] || [ "$ran" -eq 0 ]; then
    cat "$log"
    echo "windows: unit_tests.exe under wine failed (exit $status): ran ${ran:-none}, passed ${passed:-none}" >&2
    exit 1
fi
echo "Unit tests for Windows under wine (log: $log):"
echo "wine: $passed passed, 0 failed"

# ---- the real game on a console under wine --------------------------------------------------

echo "dotmaze.exe end to end on a wine console:"
"$root/tests/windows/end_to_end.sh" "$build"
