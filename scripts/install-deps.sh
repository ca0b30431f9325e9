#!/bin/sh
# Installs the Debian 12 packages that building, testing and running need.
# Usage: scripts/install-deps.sh [extra packages...]
set -eu
PACKAGES="cmake make g++ googletest mingw-w64 wine wine64 xvfb xauth $*"
missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "== installing:$missing"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 || { echo "need root or sudo to install:$missing" >&2; exit 1; }
    SUDO=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
