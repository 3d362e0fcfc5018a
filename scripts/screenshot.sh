#!/usr/bin/env bash
# Inside a Wine session (scripts/with-wine.sh): starts $KVAT_EXE, waits until its main window
# "KVAT Software Selection" is visible and painted, saves the screen around it to
# $KVAT_SCREENSHOT and closes the launcher.
# The wait is bounded: KVAT_WINDOW_WAIT seconds (default 130, as the launcher shows its window
# only after its check of the vendor host, which takes up to 2 x 60 s). When the window is not
# visible by then, or shows nothing but one colour, no screenshot is saved and the script fails.
set -euo pipefail

title="KVAT Software Selection"
wait_seconds=${KVAT_WINDOW_WAIT:-130}
[[ $wait_seconds =~ ^[0-9]+$ ]] || { echo "KVAT_WINDOW_WAIT must be whole seconds" >&2; exit 2; }
# An older picture under the same name must not pass for this run's.
rm -f "$KVAT_SCREENSHOT"
shot=$(mktemp "${TMPDIR:-/tmp}/kvat-screenshot.XXXXXX.png")

wine "$KVAT_EXE" "$@" </dev/null >/dev/null 2>&1 &
launcher=$!
finish() {
    kill "$launcher" 2>/dev/null || true
    wineserver -k >/dev/null 2>&1 || true
    rm -f "$shot"
}
trap finish EXIT

deadline=$((SECONDS + wait_seconds))
fail() {
    echo "No screenshot: $1." >&2
    exit 1
}

# Wine makes the X window when the launcher creates its window, which it shows only after the
# check: the window must be mapped, not merely there.
until xwininfo -name "$title" 2>/dev/null | grep -q 'Map State: IsViewable'; do
    kill -0 "$launcher" 2>/dev/null || fail "KVAT_Launcher.exe ended before its window was shown"
    ((SECONDS < deadline)) || fail "the window \"$title\" was not visible within ${wait_seconds} s \
(KVAT_WINDOW_WAIT); the launcher shows it after its check of the vendor host, up to 2 x 60 s"
    sleep 0.1
done
geometry=$(xwininfo -name "$title" | awk '
    /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /Width:/ {w=$NF} /Height:/ {h=$NF} END {print w "x" h "+" x "+" y}')

# Painted: more than one colour, and the same pixels twice in a row.
previous=
while :; do
    /usr/bin/import -window root -crop "$geometry" +repage "$shot"
    read -r colours pixels < <(/usr/bin/identify -format '%k %#\n' "$shot")
    ((colours > 1)) && [ "$pixels" = "$previous" ] && break
    previous=$pixels
    ((SECONDS < deadline)) || fail "the window \"$title\" showed only one colour within \
${wait_seconds} s (KVAT_WINDOW_WAIT)"
    sleep 0.3
done
mkdir -p "$(dirname "$KVAT_SCREENSHOT")"
mv "$shot" "$KVAT_SCREENSHOT"
