#!/bin/sh
# Runs Tallyfield on Debian 12: installs what it needs, builds the Windows
# program if it is missing or out of date, and starts it under Wine on your
# display. The program scans the folder above its own folder first (here
# the build folder); Open and the drive chooser go anywhere else (Z: is /).
#
#   scripts/run.sh
#
# TALLYFIELD_BUILD names the build folder (default build/win64).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"

if [ -z "${DISPLAY:-}" ]; then
    cat >&2 <<'MSG'
No display: DISPLAY is not set, so there is nowhere to show the window.
Run this from a desktop session (or with ssh -X), or use a virtual display:
    xvfb-run -a -s '-screen 0 1024x768x24' scripts/run.sh
or take a picture of the program after a scan of a demo folder:
    scripts/screenshot.sh out.png
MSG
    exit 1
fi

scripts/install-deps.sh

BUILD=${TALLYFIELD_BUILD:-build/win64}
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S . -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null
fi
cmake --build "$BUILD" -j2 --target Tallyfield

. scripts/wine-env.sh
wine_prefix_ready

echo "== starting $BUILD/app/Tallyfield.exe"
exec wine "$BUILD/app/Tallyfield.exe"
