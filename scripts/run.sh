#!/usr/bin/env bash
# Installs what is needed and starts a demo copy of the launcher under Wine, against a local
# demo server on a free port that offers another software version than the build's (19.6 beside
# 19.5, so the download button shows) and the current USB driver 2.12.28. The server stops when
# the window closes.
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
jobs=$(nproc)

# The demo server's files, written by the vendor's own writer.
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs" --target kvat-server-check
demo=$(mktemp -d)
server=
stop_server() {
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null || true
        wait "$server" 2>/dev/null || true
    fi
    rm -rf "$demo"
}
trap stop_server EXIT
mkdir -p "$demo/root/download/KVAT_Software"
# The build's version (from project(VERSION)), its minor part one up: another version to offer.
this_version=$(sed -n 's/^#define KVAT_THIS_VERSION "\(.*\)"$/\1/p' \
    build/native/generated/kvat_this_version.h)
[[ $this_version =~ ^[0-9]+\.[0-9]$ ]] || {
    echo "Cannot read the build's version from build/native/generated/kvat_this_version.h" >&2
    exit 1
}
offered="${this_version%.*}.$(( (${this_version#*.} + 1) % 10 ))"
build/native/tools/server_check/kvat-server-check --write "$demo/root/download/KVAT_Software" \
    --software "$offered" --driver 2.12.28 >/dev/null

# Port 0: the system picks a free port, and the server says which.
python3 -u -m http.server --bind 127.0.0.1 --directory "$demo/root" 0 \
    >"$demo/server.log" 2>&1 &
server=$!
port=
for _ in $(seq 1 100); do
    port=$(sed -n 's/^Serving HTTP on .* port \([0-9]*\) .*/\1/p' "$demo/server.log")
    [ -n "$port" ] && break
    kill -0 "$server" 2>/dev/null || { cat "$demo/server.log" >&2; exit 1; }
    sleep 0.1
done
[ -n "$port" ] || { echo "The demo server did not start." >&2; exit 1; }
echo "Demo server: http://127.0.0.1:$port" >&2

cmake --preset windows -DKVAT_DEMO_HOST="127.0.0.1:$port" >/dev/null
cmake --build --preset windows -j "$jobs" --target KVAT_Launcher_demo
exe=build/windows/demo/KVAT_Launcher.exe

if [ -z "$screenshot" ]; then
    # Wine maps non-ASCII file names only in a UTF-8 locale.
    WINEDEBUG=-all LC_ALL=C.UTF-8 wine "$exe"
    exit
fi
screenshot=$(realpath -m "$screenshot")
KVAT_EXE="$exe" KVAT_SCREENSHOT="$screenshot" scripts/with-wine.sh scripts/screenshot.sh
echo "Screenshot saved to $screenshot"
