#!/bin/sh
# Times scans of a folder through Tallyfield.exe under Wine in a virtual
# display: from Go (a click on the drive chooser's icon) to the file count in
# the status bar, the last text a run writes.
#
#   scripts/time-scan.sh [folder] [runs]
#
# The folder (default: the synthetic 1m tree of the benchmarks,
# /work/benchdata/tree-1m, made by bench/compare.sh or bench/gentree) is
# mapped to the Wine drive T: for the time of the runs.
# TALLYFIELD_BUILD names the Windows build folder (default build/win64).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
TREE=${1:-/work/benchdata/tree-1m}
RUNS=${2:-3}
if [ ! -d "$TREE" ]; then
    echo "no folder $TREE; make the synthetic tree with bench/compare.sh --no-time" >&2
    echo "or build/bench/gentree --preset 1m --seed 1 $TREE" >&2
    exit 2
fi
TREE=$(realpath "$TREE")

scripts/install-deps.sh
BUILD=${TALLYFIELD_BUILD:-build/win64}
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S . -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null
fi
cmake --build "$BUILD" -j2 --target Tallyfield scantime >/dev/null

. scripts/wine-env.sh
wine_prefix_ready
DRIVE="$WINEPREFIX/dosdevices/t:"
ln -sfn "$TREE" "$DRIVE"
trap 'rm -f "$DRIVE"' EXIT
trap 'exit 1' INT TERM

echo "== $TREE as t:, $RUNS runs"
export BUILD RUNS
xvfb-run -a -s '-screen 0 1024x768x24' sh -c '
    wineserver -p >/dev/null 2>&1 </dev/null
    wine cmd /c exit 0 >/dev/null 2>&1 </dev/null
    timeout 3600 wine "$BUILD/tests/scantime.exe" "$BUILD/app/Tallyfield.exe" t "$RUNS" </dev/null
    rc=$?
    wineserver -k >/dev/null 2>&1
    exit $rc' | tr -d '\r'
