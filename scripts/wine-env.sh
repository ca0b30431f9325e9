# Sourced by the scripts: a Wine prefix of our own, quiet and unattended.
# Needs ROOT set to the repository's top folder.
export WINEPREFIX="${TALLYFIELD_WINEPREFIX:-$ROOT/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

# Creates the prefix once: fonts for the dialog units to come out right, and
# Wine drawing its own frames (there is no window manager under Xvfb).
wine_prefix_ready() {
    if [ -f "$WINEPREFIX/.tallyfield-ready" ]; then
        return 0
    fi
    echo "== creating the Wine prefix in $WINEPREFIX (once)"
    mkdir -p "$WINEPREFIX"
    ( unset DISPLAY; wineboot -i >/dev/null 2>&1 </dev/null; wineserver -w )
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    if [ -d /usr/share/wine/fonts ]; then
        cp -f /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    fi
    ( unset DISPLAY; wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null; wineserver -w )
    touch "$WINEPREFIX/.tallyfield-ready"
}
