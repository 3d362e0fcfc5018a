#!/usr/bin/env bash
# Start-up benchmark: builds with the windows preset, then, in one private Wine session on a
# virtual display, times the launcher with a server answering at once, with no server, and with a
# far server (each file answered after 50 ms); the launcher's window alone, without its check;
# and an empty window of the same size (the floor). The server (tests/scripted_server.py) runs
# natively on 127.0.0.1. Prints a Markdown table and writes it, with the machine and the date, to
# bench/results.md.
#   scripts/bench.sh [--runs N] [--warmup N] [--compare EXE] [--quiet-wait S] [--trace N]
#   (defaults: 15 counted runs, 2 warm-ups, 20 s). --compare EXE measures another build of the
#   launcher side by side, e.g. build/windows/bench/launcher/KVAT_Launcher.exe copied from an
#   earlier commit. --quiet-wait S: how long each start may wait for a quiet machine. --trace N
#   also starts the trace build N times per server and reports when each step of its start came.
# KVAT_BENCH_BUILD_DIR sets the build folder (default: the preset's, build/windows).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${KVAT_BENCH_BUILD_DIR:-build/windows}
scripts/install-deps.sh
cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" \
    --target KVAT_Launcher KVAT_Launcher_bench KVAT_Launcher_trace KVAT_Launcher_window_only \
    bench_floor startup_bench

# The version server runs natively, beside Wine; the driver tells it when to listen. It holds
# the port's lock while it runs, so it may first wait for another run to finish; it names its
# control port when it is ready.
port=$(sed -n 's/^KVAT_BENCH_PORT:[A-Z]*=//p' "$build/CMakeCache.txt")
coproc server { exec /usr/bin/python3 tests/scripted_server.py --hold-port "$port" KVAT_BENCH_PORT; }
server_pid=$server_PID
trap 'kill "$server_pid" 2>/dev/null || true' EXIT
read -r ready control_port <&"${server[0]}" && [ "$ready" = ready ] ||
    { echo "The version server did not start" >&2; exit 1; }

command="scripts/bench.sh${*:+ $*}"
# Paths given to the benchmark program are Windows paths, on the Z: drive that Wine maps to /.
args=()
while [ $# -gt 0 ]; do
    if [[ $1 =~ ^--(compare|launcher|floor|window-only|trace-launcher)$ ]] && [ $# -gt 1 ]; then
        args+=("$1" "Z:$(realpath "$2" | tr / '\\')")
        shift 2
    else
        args+=("$1")
        shift
    fi
done

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
measured=$(scripts/with-wine.sh wine "$build/bench/startup_bench.exe" \
    --control-port "$control_port" "${args[@]}" </dev/null | tr -d '\r')
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

exe="$build/KVAT_Launcher.exe"
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/.*DLL Name: //p' | paste -sd, - |
    sed 's/,/, /g')
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
memory=$(awk '/^MemTotal:/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)

report=$(cat <<REPORT
# Start-up benchmark

Time from \`CreateProcess\` to the window "KVAT Software Selection" being visible, measured by
\`bench/startup_bench.exe\` under Wine on a virtual display. It polls every millisecond for the
process's visible top-level window, reads the process's peak working set once the window is
idle, closes the window and waits for the process to end. The cases take turns, each
run starting once the machine is nearly idle; the first rounds are warm-ups and are not counted.

- (a) the launcher, built for \`127.0.0.1:${port}\`, with \`tests/scripted_server.py\` (native,
  outside Wine) on that port answering both version files at once (one send, Nagle off);
- (b) the same launcher with nothing listening on the port (connection refused);
- (f) the same launcher with a far server: each version file answered after 50 ms, as by a
  server across the internet, so at least 100 ms of any start are the network's;
- (a'), (b') and (f'), when present: the same three cases for the build given with \`--compare\`;
- (w) the window only: \`bench/window_only.cpp\`, the launcher's window built and shown as the
  launcher does it, without the start-up check (no WinINet, no request);
- (c) the floor: \`bench/floor.cpp\`, an empty window of the launcher's client size
  (873 x 617) and styles, started the same way.

Targets (medians, confirmed by the lower quartiles): the launcher within 1.2x of the floor in
cases (a) and (b), and within the floor + 110 ms in case (f) (the network's 100 ms and 10 ms of
its own); the goal is 1.10x and the floor + 103 ms. Peak working set within the floor + 4 MiB.
"Began busy" counts the starts for which the machine never became quiet (CPUs under 10% busy
over a quarter of a second) within the wait allowed.

- Date: $(date -u '+%Y-%m-%d %H:%M UTC')
- Machine: $(nproc) CPUs, ${cpu}, ${memory} memory; $(wine --version 2>/dev/null); $(. /etc/os-release && echo "$PRETTY_NAME")
- Load average (1, 5, 15 min) before and after: ${load_before}; ${load_after}
- Command: \`${command}\`

${measured}

Under Wine on a small machine many process starts are much slower than the rest, 10 to 25 ms
here and in every case, the floor included; so medians move from one run of the benchmark to the
next, and the lower quartile is the steadier figure. Polling every millisecond costs each started process a few milliseconds (all
cases alike). Peak working sets are as Wine reports them for the process, Wine's own libraries
included; they compare the cases with each other, not with Windows.

## The shipped executable

- \`KVAT_Launcher.exe\` (${build_type:-no build type}): $(stat -c %s "$exe") bytes
- Imported DLLs: ${imports}
REPORT
)
printf '%s\n' "$report" | tee bench/results.md
