#!/usr/bin/env bash
# Runs the packaged launcher as a user would get it: unpacks the release ZIP into a temporary
# folder and starts its KVAT_Launcher.exe under Wine, in a fresh private prefix (no settings
# from earlier runs).
#   scripts/run-package.sh [ZIP]     (default: the newest ZIP under build/*/package/)
# On a display the window opens there; without one the launcher runs on a virtual display and
# a screenshot is saved to build/package-screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."

zip=${1:-$(ls -t build/*/package/KVAT_Launcher-*.zip 2>/dev/null | head -n 1)}
[ -f "$zip" ] || {
    echo "No release ZIP; make one with: cmake --build --preset release --target package" >&2
    exit 1
}
folder=$(mktemp -d "${TMPDIR:-/tmp}/kvat-package-run.XXXXXX")
trap 'rm -rf "$folder"' EXIT
/usr/bin/python3 -m zipfile -e "$zip" "$folder"
echo "Running $(realpath "$zip")" >&2

# Wine maps non-ASCII file names only in a UTF-8 locale.
export LC_ALL=C.UTF-8
if [ -n "${DISPLAY:-}" ]; then
    KVAT_WINE_OWN_DISPLAY=0 scripts/with-wine.sh wine "$folder/KVAT_Launcher.exe"
else
    screenshot=$(realpath -m build/package-screenshot.png)
    KVAT_EXE="$folder/KVAT_Launcher.exe" KVAT_SCREENSHOT="$screenshot" \
        scripts/with-wine.sh scripts/screenshot.sh
    echo "Screenshot saved to $screenshot"
fi
