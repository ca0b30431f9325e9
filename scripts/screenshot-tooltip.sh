#!/bin/sh
# Takes a picture of the program with the pointer resting on a segment of the
# folder bar, so that the segment shows highlighted and its tooltip is up.
#
#   scripts/screenshot-tooltip.sh [out.png]
#
# Runs scripts/screenshot.sh (its demo tree, build and settings) with a
# pointer move as the action and the whole screen as the picture, then trims
# the picture to the window and the tip.
#   SHOT_POINT  "x y" in the window's client area (default "160 85": the bar's
#               middle row, on the demo's third segment)
#   SHOT_TIP_WAIT  seconds for the tip to show (default 1.5)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$(realpath -m "${1:-$ROOT/build/screenshot-tooltip.png}")

"$ROOT/scripts/install-deps.sh" xdotool imagemagick

set -- ${SHOT_POINT:-160 85}
# The X window carries the frame Wine draws itself: 4 pixels of sizing border
# and a caption above the client area.
X=$(($1 + 4))
Y=$(($2 + 23))
TIP_WAIT=${SHOT_TIP_WAIT:-1.5}

SHOT_FULL=1 \
SHOT_ACTION="xdotool mousemove --window \"\$SHOT_WINDOW\" $((X - 30)) $Y; sleep 0.2; xdotool mousemove --window \"\$SHOT_WINDOW\" $X $Y; sleep $TIP_WAIT" \
    "$ROOT/scripts/screenshot.sh" "$OUT" >/dev/null
# The screen's empty black around the window goes.
convert "$OUT" -trim +repage "$OUT"
echo "$OUT"
