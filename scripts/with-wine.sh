#!/usr/bin/env bash
# Runs a command inside a private, warmed-up Wine session on a virtual display:
#   scripts/with-wine.sh COMMAND [ARGS...]
# The prefix, HOME and TMPDIR live in one temporary folder that is removed afterwards.
# With KVAT_WINE_KEEP=1 set the folder is kept and its path printed.
set -euo pipefail

session=$(mktemp -d "${TMPDIR:-/tmp}/kvat-wine.XXXXXX")
export HOME="$session/home" WINEPREFIX="$session/prefix" TMPDIR="$session/tmp"
mkdir -p "$HOME" "$TMPDIR"
export WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Wine maps non-ASCII file names only in a UTF-8 locale; C.UTF-8 exists on every Debian.
export LC_ALL=C.UTF-8

xvfb_pid=
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" >/dev/null 2>&1 || true
    if [ "${KVAT_WINE_KEEP:-0}" = 1 ]; then
        echo "Wine session kept in $session" >&2
    else
        rm -rf "$session"
    fi
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ] || [ "${KVAT_WINE_OWN_DISPLAY:-1}" = 1 ]; then
    # A display number of our own; -displayfd tells us which one Xvfb took.
    exec {fd}<> <(:)
    Xvfb -displayfd "$fd" -screen 0 1280x1024x24 -nolisten tcp >"$session/xvfb.log" 2>&1 &
    xvfb_pid=$!
    read -r -t 20 display_number <&"$fd" || { echo "Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$display_number"
fi

# Prefix first, then a persistent and warmed server: this order avoids the stalls Wine
# otherwise shows at the first window and keeps helper processes off the test's pipes.
wineboot -i </dev/null >"$session/wineboot.log" 2>&1
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
wineserver -p
# No window manager here: unmanaged windows close without Wine's 2 s wait.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1

"$@"
