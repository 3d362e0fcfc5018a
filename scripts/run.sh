#!/usr/bin/env bash
# Installs what is needed, builds the launcher and starts it under Wine.
# With no display (or with --screenshot FILE) it runs on a virtual display, waits for the
# window, saves a screenshot (default: build/screenshot.png) and closes it again.
set -euo pipefail
cd "$(dirname "$0")/.."

screenshot=
if [ "${1:-}" = --screenshot ]; then
    screenshot=${2:?--screenshot needs a file}
elif [ -z "${DISPLAY:-}" ]; then
    screenshot=build/screenshot.png
fi

scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)" --target KVAT_Launcher
exe=build/windows/KVAT_Launcher.exe

if [ -z "$screenshot" ]; then
    # Wine maps non-ASCII file names only in a UTF-8 locale.
    export WINEDEBUG=-all LC_ALL=C.UTF-8
    exec wine "$exe"
fi
screenshot=$(realpath -m "$screenshot")
KVAT_EXE="$exe" KVAT_SCREENSHOT="$screenshot" scripts/with-wine.sh scripts/screenshot.sh
echo "Screenshot saved to $screenshot"
