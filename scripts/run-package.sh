#!/usr/bin/env bash
# Runs the packaged launcher as a user would get it: unpacks the release ZIP into a temporary
# folder and starts its KVAT_Launcher.exe under Wine, in a fresh private prefix (no settings
# from earlier runs).
#   scripts/run-package.sh [--trust-root CA.pem] [--wait SECONDS] [--screenshot FILE] [ZIP]
#     ZIP                  default: the release preset's signed ZIP,
#                          build/release/package/KVAT_Launcher-<version>-win64.zip; an -UNSIGNED
#                          or -DIRTY package runs only when it is named
#     --trust-root CA.pem  trusts that certificate authority in the private prefix only, so that
#                          a launcher built for an https:// host with a test certificate gets
#                          its answers (the helper comes from the windows preset's build)
#     --wait SECONDS       with a screenshot: how long to wait for the window (default 130)
#     --screenshot FILE    run on a virtual display and save a screenshot there
# On a display the window opens there; without one (or with --screenshot) the launcher runs on
# a virtual display and a screenshot is saved (default: build/package-screenshot.png) once its
# window is visible. When the window does not show within the wait, no screenshot is saved and
# the script fails.
set -euo pipefail
cd "$(dirname "$0")/.."

trust_root=
wait_seconds=130
screenshot=
while [ $# -gt 0 ]; do
    case $1 in
        --trust-root) trust_root=$(realpath "${2:?--trust-root needs a certificate file}"); shift 2 ;;
        --wait) wait_seconds=${2:?--wait needs seconds}; shift 2 ;;
        --screenshot) screenshot=${2:?--screenshot needs a file}; shift 2 ;;
        -*) echo "Unknown option $1" >&2; exit 2 ;;
        *) break ;;
    esac
done

if [ $# -gt 0 ]; then
    zip=$1
else
    # Only the signed name ends in -win64.zip: -UNSIGNED and -DIRTY come before ".zip".
    releases=(build/release/package/KVAT_Launcher-*-win64.zip)
    zip=${releases[0]}
    if [ ${#releases[@]} -ne 1 ] || [ ! -f "$zip" ]; then
        echo "No single signed release ZIP in build/release/package/; make one with:" \
            "cmake --build --preset release --target package (or name the ZIP to run)" >&2
        exit 1
    fi
fi
[ -f "$zip" ] || { echo "No such ZIP: $zip" >&2; exit 1; }
if [ -n "$trust_root" ]; then
    [ -f "$trust_root" ] || { echo "No certificate file $trust_root" >&2; exit 1; }
    trust_tool=${KVAT_TRUST_ROOT_TOOL:-}
    if [ -z "$trust_tool" ]; then
        [ -f build/windows/CMakeCache.txt ] || cmake --preset windows >/dev/null
        cmake --build --preset windows --target kvat_trust_root >/dev/null
        trust_tool=$(realpath build/windows/tests/tools/kvat_trust_root.exe)
    fi
fi
folder=$(mktemp -d "${TMPDIR:-/tmp}/kvat-package-run.XXXXXX")
trap 'rm -rf "$folder"' EXIT
/usr/bin/python3 -m zipfile -e "$zip" "$folder"
echo "Running $(realpath "$zip")" >&2

# Inside the Wine session: trust the authority first, if one was given, then run.
session=$(cat <<'EOF'
if [ -n "$KVAT_TRUST_ROOT" ]; then
    wine "$KVAT_TRUST_ROOT_TOOL" "$KVAT_TRUST_ROOT" </dev/null
fi
"$@"
EOF
)
export KVAT_TRUST_ROOT=$trust_root KVAT_TRUST_ROOT_TOOL=${trust_tool:-}
# Wine maps non-ASCII file names only in a UTF-8 locale.
export LC_ALL=C.UTF-8
if [ -z "$screenshot" ] && [ -n "${DISPLAY:-}" ]; then
    KVAT_WINE_OWN_DISPLAY=0 scripts/with-wine.sh bash -c "$session" session \
        wine "$folder/KVAT_Launcher.exe"
else
    screenshot=$(realpath -m "${screenshot:-build/package-screenshot.png}")
    KVAT_EXE="$folder/KVAT_Launcher.exe" KVAT_SCREENSHOT="$screenshot" \
        KVAT_WINDOW_WAIT=$wait_seconds scripts/with-wine.sh bash -c "$session" session \
        scripts/screenshot.sh
    echo "Screenshot saved to $screenshot"
fi
