#!/usr/bin/env bash
# Inside a Wine session (scripts/with-wine.sh): starts $KVAT_EXE, waits until its window is
# shown, saves the screen around it to $KVAT_SCREENSHOT and closes the launcher.
set -euo pipefail

wine "$KVAT_EXE" "$@" </dev/null >/dev/null 2>&1 &
launcher=$!
for _ in $(seq 1 300); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"KVAT Software Selection"'; then
        break
    fi
    sleep 0.1
done
sleep 1  # let the first paint finish
geometry=$(xwininfo -name "KVAT Software Selection" | awk '
    /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /Width:/ {w=$NF} /Height:/ {h=$NF} END {print w "x" h "+" x "+" y}')
mkdir -p "$(dirname "$KVAT_SCREENSHOT")"
/usr/bin/import -window root -crop "$geometry" +repage "$KVAT_SCREENSHOT"
kill "$launcher" 2>/dev/null || true
wineserver -k >/dev/null 2>&1 || true
