#!/bin/sh
# The whole test suite on Debian 12: installs what it needs, builds the native
# build (with sanitizers) and the Windows build, runs the native tests and
# then the Windows tests under Wine inside a virtual display.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
JOBS=$(nproc 2>/dev/null || echo 2)

scripts/install-deps.sh

echo "== native build, AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/native-asan -DTALLYFIELD_SANITIZE=address >/dev/null
cmake --build build/native-asan -j "$JOBS"
ctest --test-dir build/native-asan --output-on-failure -j "$JOBS"

echo "== native build, ThreadSanitizer (tests that run threads)"
cmake -S . -B build/native-tsan -DTALLYFIELD_SANITIZE=thread -DTALLYFIELD_BENCH=OFF >/dev/null
cmake --build build/native-tsan -j "$JOBS"
ctest --test-dir build/native-tsan --output-on-failure -L threads

echo "== Windows build (mingw-w64)"
cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build build/win64 -j "$JOBS"

. scripts/wine-env.sh
wine_prefix_ready

echo "== Windows tests under Wine in Xvfb"
# wineserver and the desktop process must not inherit ctest's pipes: start
# them first, then warm up once, and end the server afterwards.
xvfb-run -a -s '-screen 0 1024x768x24' sh -c '
    wineserver -p >/dev/null 2>&1 </dev/null
    wine cmd /c exit 0 >/dev/null 2>&1 </dev/null
    ctest --test-dir build/win64 --output-on-failure
    rc=$?
    wineserver -k >/dev/null 2>&1
    exit $rc'
