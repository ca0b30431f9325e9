#!/bin/sh
# Takes a picture of the program after a scan, in a virtual display.
#
#   scripts/screenshot.sh [out.png]
#
# The program scans the parent of its own folder, so a copy of Tallyfield.exe
# goes into a folder of the tree and the tree's root is what it shows. By
# default the tree is a small demo made here (sparse files, no disk used).
# Settings, from the environment:
#   SHOT_TREE    a tree of your own to show instead of the demo
#   SHOT_WAIT    seconds to wait for the scan after the title shows (default 2)
#   SHOT_ACTION  a shell command run after the wait, before the picture, with
#                DISPLAY set and SHOT_WINDOW holding the window's X id
#   SHOT_FULL    1: the whole screen instead of the window alone
#   TALLYFIELD_BUILD  the Windows build folder (default build/win64)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
OUT=$(realpath -m "${1:-$ROOT/build/screenshot.png}")
WAIT=${SHOT_WAIT:-2}

scripts/install-deps.sh imagemagick x11-utils

BUILD=${TALLYFIELD_BUILD:-build/win64}
EXE=$BUILD/app/Tallyfield.exe
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S . -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null
fi
cmake --build "$BUILD" -j2 --target Tallyfield >/dev/null

. scripts/wine-env.sh
wine_prefix_ready

make_demo() {
    d=$1
    rm -rf "$d"
    mkdir -p "$d/Music/Live" "$d/Photos/2023" "$d/Photos/2024" "$d/Video" "$d/Documents" "$d/Games/Saves"
    truncate -s 900M "$d/Music/album1.flac"
    truncate -s 300M "$d/Music/Live/set.flac"
    truncate -s 600M "$d/Photos/2023/a.raw"
    truncate -s 500M "$d/Photos/2024/b.raw"
    truncate -s 1800M "$d/Video/holiday.mp4"
    truncate -s 40M "$d/Documents/thesis.pdf"
    truncate -s 700M "$d/Games/game.pak"
    truncate -s 2M "$d/Games/Saves/slot1.sav"
}

if [ -n "${SHOT_TREE:-}" ]; then
    TREE=$(realpath "$SHOT_TREE")
    BIN="$TREE/.tallyfield-shot"
else
    TREE="${TMPDIR:-/tmp}/tallyfield-demo"
    make_demo "$TREE"
    BIN="$TREE/Tallyfield"
fi
mkdir -p "$BIN"
cp "$EXE" "$BIN/Tallyfield.exe"
LEAF=$(basename "$TREE")

export OUT WAIT BIN LEAF SHOT_ACTION="${SHOT_ACTION:-}" SHOT_FULL="${SHOT_FULL:-0}"
status=0
xvfb-run -a -s '-screen 0 1024x768x24' sh -c '
    wineserver -p >/dev/null 2>&1 </dev/null
    wine cmd /c exit 0 >/dev/null 2>&1 </dev/null
    wine "$BIN/Tallyfield.exe" >/dev/null 2>&1 </dev/null &
    pid=$!
    # The title names the tree as soon as its scan starts.
    SHOT_WINDOW=""
    i=0
    while [ $i -lt 300 ] && [ -z "$SHOT_WINDOW" ]; do
        SHOT_WINDOW=$(xwininfo -root -tree 2>/dev/null | grep -F "\"Tallyfield 0.1 - $LEAF\"" | awk "{print \$1}" | head -n 1)
        [ -n "$SHOT_WINDOW" ] || sleep 0.1
        i=$((i + 1))
    done
    rc=0
    if [ -z "$SHOT_WINDOW" ]; then
        echo "the window did not show up" >&2
        rc=1
    else
        sleep "$WAIT"
        export SHOT_WINDOW
        [ -z "$SHOT_ACTION" ] || sh -c "$SHOT_ACTION"
        if [ "$SHOT_FULL" = 1 ]; then
            import -window root "$OUT"
        else
            import -window "$SHOT_WINDOW" "$OUT"
        fi
    fi
    kill "$pid" 2>/dev/null || true
    wineserver -k >/dev/null 2>&1
    exit $rc' || status=$?
[ -n "${SHOT_TREE:-}" ] && rm -rf "$BIN"
[ $status -eq 0 ] && echo "$OUT"
exit $status
