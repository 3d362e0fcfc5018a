// Start-up benchmark of the launcher under Wine (or Windows). For each case it starts the program
// as its own process, polls every millisecond for its visible top-level window, notes the time
// from CreateProcess to that moment and the process's peak working set once the window is idle,
// then closes the window and waits for the process to end. The cases take turns, so that drifts
// of the machine fall on all of them alike; the first runs of each are warm-ups and not counted.
// The version server (tests/scripted_server.py, started by scripts/bench.sh) listens only during
// the runs of the case that has one.
//
//   startup_bench.exe --control-port PORT [--runs N] [--warmup N] [--launcher EXE]
//                     [--floor EXE] [--window-only EXE] [--compare EXE] [--quiet-wait S]
//                     [--trace N] [--trace-launcher EXE]
// --compare adds another build of the launcher (built for the same port), say the one before a
// change, so that both are measured in one run under the same conditions. --quiet-wait bounds
// how long a run waits for a quiet machine (20 s). --trace N also starts the trace build N times
// with each server and reports when the steps of its start happened.
//
// Prints a Markdown table of the results, then every counted sample in run order.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "http_test_server.h"
#include "launcher/constants.h"
#include "platform/win32/system_info.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/unique_handle.h"

namespace kvat::bench {
namespace {

// The launcher's window class and title; the floor uses the same. With the class, Wine's server
// picks the candidates, so a poll costs the started process little.
constexpr wchar_t kWindowClass[] = L"KVAT_Launcher.Form1";
constexpr wchar_t kWindowTitle[] = L"KVAT Software Selection";
constexpr unsigned short kPort = KVAT_BENCH_PORT;
constexpr DWORD kPollMs = 1;
constexpr double kShowDeadlineMs = 60000;
constexpr DWORD kIdleDeadlineMs = 5000;
constexpr DWORD kExitDeadlineMs = 10000;
// A run starts once the CPUs were less than 10% busy over a quarter of a second, or after 20 s.
constexpr DWORD kQuietSampleMs = 250;
constexpr double kQuietBusyShare = 0.10;
constexpr double kDefaultQuietWaitSeconds = 20;
// How long the far server waits before it answers each file: a server across the internet.
constexpr std::chrono::milliseconds kFarDelay{50};

using SteadyClock = std::chrono::steady_clock;

// The version server of a case: none, answering at once, or answering each file after a delay.
struct Server {
    std::chrono::milliseconds delay{0};
};

struct Case {
    const char* name;
    std::wstring executable;
    std::optional<Server> server;  // the version server listening during the run, if any
};

struct Sample {
    double visible_ms;
    double peak_working_set_mib;
    bool busy;  // the run began on a busy machine
    // For the trace: when the process was asked for, and when each request reached the server.
    SteadyClock::time_point started;
    std::vector<SteadyClock::time_point> requests;
};

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what);
}

class Clock {
  public:
    Clock() { QueryPerformanceFrequency(&frequency_); }
    LONGLONG Now() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return now.QuadPart;
    }
    double Milliseconds(LONGLONG from, LONGLONG to) const {
        return static_cast<double>(to - from) * 1000.0 / static_cast<double>(frequency_.QuadPart);
    }

  private:
    LARGE_INTEGER frequency_;
};

std::uint64_t Ticks(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Work of other programs lands in whichever run it meets, and on a small machine it can double a
// run's time. So each run waits until the machine is nearly idle; false when it never was.
bool WaitForQuietMachine(ULONGLONG longest_ms) {
    const ULONGLONG deadline = GetTickCount64() + longest_ms;
    do {
        FILETIME idle[2], kernel[2], user[2];
        if (!GetSystemTimes(&idle[0], &kernel[0], &user[0])) {
            return true;  // no way to tell
        }
        Sleep(kQuietSampleMs);
        GetSystemTimes(&idle[1], &kernel[1], &user[1]);
        // Kernel time includes idle time.
        const auto total = static_cast<double>(Ticks(kernel[1]) - Ticks(kernel[0]) +
                                               Ticks(user[1]) - Ticks(user[0]));
        const auto busy = total - static_cast<double>(Ticks(idle[1]) - Ticks(idle[0]));
        if (total > 0 && busy / total < kQuietBusyShare) {
            return true;
        }
    } while (GetTickCount64() < deadline);
    return false;
}

std::wstring FolderOf(const std::wstring& file) {
    const std::size_t slash = file.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : file.substr(0, slash);
}

// The process's visible top-level window with the launcher's title, if it has one yet.
HWND VisibleWindowOf(DWORD process_id) {
    for (HWND window = FindWindowExW(nullptr, nullptr, kWindowClass, kWindowTitle); window;
         window = FindWindowExW(nullptr, window, kWindowClass, kWindowTitle)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == process_id && IsWindowVisible(window)) {
            return window;
        }
    }
    return nullptr;
}

// The vendor's server, answering both version files (one send, Nagle off) with answers of the
// lengths the launcher accepts, after the server's delay.
void ServeVersionFiles(test::HttpTestServer& server, const Server& how) {
    server.Serve(std::string(kSoftwareVersionPath),
                 {.body = "KVAT Software Version:" KVAT_THIS_VERSION, .delay = how.delay});
    server.Serve(std::string(kUsbVersionPath),
                 {.body = "KVAT USB Driver: 2.12.28", .delay = how.delay});
}

// One start of `target`; `server` is the version server of a case that has one, set up before
// the machine was let settle, so that its own start-up is not measured with the launcher's.
Sample RunOnce(const Case& target, const Clock& clock, test::HttpTestServer* server) {
    std::wstring command_line = L"\"" + target.executable + L"\"";
    const std::wstring folder = FolderOf(target.executable);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};

    const SteadyClock::time_point started = SteadyClock::now();
    const LONGLONG start = clock.Now();
    if (!CreateProcessW(target.executable.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, folder.c_str(), &startup, &info)) {
        Fail("Starting " + win32::Narrow(target.executable) + " failed, error " +
             std::to_string(GetLastError()));
    }
    const win32::UniqueHandle process(info.hProcess);
    const win32::UniqueHandle thread(info.hThread);

    HWND window = nullptr;
    while (!(window = VisibleWindowOf(info.dwProcessId))) {
        if (WaitForSingleObject(process.get(), kPollMs) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(process.get(), &code);
            Fail(std::string(target.name) + ": the process ended (exit code " +
                 std::to_string(code) + ") before its window was shown");
        }
        if (clock.Milliseconds(start, clock.Now()) > kShowDeadlineMs) {
            TerminateProcess(process.get(), 1);
            Fail(std::string(target.name) + ": no window within 60 s");
        }
    }
    const LONGLONG shown = clock.Now();

    // The peak includes the first paint: read it once the window waits for input.
    WaitForInputIdle(process.get(), kIdleDeadlineMs);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (!GetProcessMemoryInfo(process.get(), &memory, sizeof memory)) {
        Fail("GetProcessMemoryInfo failed, error " + std::to_string(GetLastError()));
    }

    PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.get(), kExitDeadlineMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        Fail(std::string(target.name) + ": still running 10 s after WM_CLOSE");
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    if (code != 0) {
        Fail(std::string(target.name) + ": exit code " + std::to_string(code));
    }
    // A launcher that did not get both answers would not be measuring this case.
    std::vector<SteadyClock::time_point> requests;
    if (server) {
        std::vector<std::string> paths;
        for (const test::HttpRequest& request : server->Requests()) {
            paths.push_back(request.path);
            requests.push_back(request.received);
        }
        if (paths != std::vector<std::string>{std::string(kSoftwareVersionPath),
                                              std::string(kUsbVersionPath)}) {
            Fail(std::string(target.name) + ": the server was asked " +
                 std::to_string(paths.size()) + " times, not once for each version file");
        }
    }
    return {clock.Milliseconds(start, shown),
            static_cast<double>(memory.PeakWorkingSetSize) / (1024.0 * 1024.0), false, started,
            std::move(requests)};
}

// The value below which the given share of the values lie, interpolated between neighbours.
double Quantile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    const double position = share * static_cast<double>(values.size() - 1);
    const auto below = static_cast<std::size_t>(position);
    const std::size_t above = std::min(below + 1, values.size() - 1);
    const double weight = position - static_cast<double>(below);
    return values[below] * (1 - weight) + values[above] * weight;
}

double Median(std::vector<double> values) {
    return Quantile(std::move(values), 0.5);
}

struct Options {
    int runs = 15;
    int warmup = 2;
    unsigned short control_port = 0;  // the scripted server program's, which it chose itself
    std::wstring launcher;
    std::wstring floor;
    std::wstring window_only;  // the launcher's window without its start-up check
    std::wstring compare;      // another build of the launcher, measured side by side
    double quiet_wait_seconds = kDefaultQuietWaitSeconds;
    int trace_runs = 0;
    std::wstring trace_launcher;  // the launcher's trace build
};

Options ParseOptions(int argc, wchar_t** argv) {
    Options options;
    const std::wstring folder = win32::Widen(win32::ExecutableFolder());
    options.launcher = folder + L"\\launcher\\KVAT_Launcher.exe";
    options.floor = folder + L"\\bench_floor.exe";
    options.window_only = folder + L"\\window_only\\KVAT_Launcher.exe";
    options.trace_launcher = folder + L"\\trace\\KVAT_Launcher.exe";
    for (int i = 1; i < argc; ++i) {
        const std::wstring_view option = argv[i];
        if (i + 1 >= argc) {
            Fail("Option " + win32::Narrow(option) + " needs a value");
        }
        const wchar_t* value = argv[++i];
        if (option == L"--runs") {
            options.runs = _wtoi(value);
        } else if (option == L"--warmup") {
            options.warmup = _wtoi(value);
        } else if (option == L"--control-port") {
            options.control_port = static_cast<unsigned short>(_wtoi(value));
        } else if (option == L"--launcher") {
            options.launcher = value;
        } else if (option == L"--floor") {
            options.floor = value;
        } else if (option == L"--window-only") {
            options.window_only = value;
        } else if (option == L"--compare") {
            options.compare = value;
        } else if (option == L"--quiet-wait") {
            options.quiet_wait_seconds = _wtof(value);
        } else if (option == L"--trace") {
            options.trace_runs = _wtoi(value);
        } else if (option == L"--trace-launcher") {
            options.trace_launcher = value;
        } else {
            Fail("Unknown option " + win32::Narrow(option));
        }
    }
    if (options.control_port == 0) {
        Fail("--control-port is needed: the port scripted_server.py names when it is ready");
    }
    if (options.runs < 1 || options.warmup < 0 || options.trace_runs < 0 ||
        options.quiet_wait_seconds < 0) {
        Fail("--runs must be at least 1, and --warmup, --trace and --quiet-wait at least 0");
    }
    return options;
}

// Under Wine on a small machine a run is now and then much slower than the rest, in every case
// alike; the lower quartile shows the cost of a run that was not, the median the usual one.
void PrintTable(const std::vector<Case>& cases, const std::vector<std::vector<Sample>>& samples) {
    struct Summary {
        double median, lower_quartile, min, max, peak_working_set;
        int busy;
    };
    std::vector<Summary> summaries;
    for (const auto& runs : samples) {
        std::vector<double> times;
        std::vector<double> peaks;
        int busy = 0;
        for (const Sample& sample : runs) {
            times.push_back(sample.visible_ms);
            peaks.push_back(sample.peak_working_set_mib);
            busy += sample.busy ? 1 : 0;
        }
        summaries.push_back({Median(times), Quantile(times, 0.25),
                             *std::min_element(times.begin(), times.end()),
                             *std::max_element(times.begin(), times.end()), Median(peaks), busy});
    }
    const Summary& floor = summaries.back();  // the floor is the last case

    std::printf(
        "| Case | Runs | Began busy | Median (ms) | Lower quartile (ms) | Min (ms) | Max (ms) "
        "| Median / floor | Lower quartile / floor | Median - floor (ms) "
        "| Lower quartile - floor (ms) | Peak working set (MiB, median) | Peak - floor (MiB) |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (std::size_t c = 0; c < cases.size(); ++c) {
        const Summary& row = summaries[c];
        std::printf(
            "| %s | %zu | %d | %.1f | %.1f | %.1f | %.1f | %.2fx | %.2fx | %+.1f | %+.1f | %.1f "
            "| %+.1f |\n",
            cases[c].name, samples[c].size(), row.busy, row.median, row.lower_quartile, row.min,
            row.max, row.median / floor.median, row.lower_quartile / floor.lower_quartile,
            row.median - floor.median, row.lower_quartile - floor.lower_quartile,
            row.peak_working_set, row.peak_working_set - floor.peak_working_set);
    }
    std::printf("\nSamples in run order (ms):\n\n");
    for (std::size_t c = 0; c < cases.size(); ++c) {
        std::printf("- %s:", cases[c].name);
        for (const Sample& sample : samples[c]) {
            std::printf(" %.1f", sample.visible_ms);
        }
        std::printf("\n");
    }
}

double MillisecondsAfter(SteadyClock::time_point start, SteadyClock::time_point moment) {
    return std::chrono::duration<double, std::milli>(moment - start).count();
}

// The steps of one start of the trace build, in ms after it was started: the marks it wrote, when
// each request reached the server, and when the benchmark saw the window.
std::vector<std::pair<std::string, double>> TraceOf(const Sample& sample,
                                                    const std::wstring& trace_file) {
    std::vector<std::pair<std::string, double>> steps;
    if (FILE* file = _wfopen(trace_file.c_str(), L"r")) {
        char line[256];
        while (std::fgets(line, sizeof line, file)) {
            std::string text(line);
            const std::size_t blank = text.find_last_of(' ');
            if (blank == std::string::npos) {
                continue;
            }
            const SteadyClock::time_point moment{std::chrono::duration_cast<SteadyClock::duration>(
                std::chrono::nanoseconds(std::stoll(text.substr(blank + 1))))};
            // A step that comes again (the second fetch's) counts at its first time.
            std::string step = text.substr(0, blank);
            if (std::none_of(steps.begin(), steps.end(),
                             [&](const auto& seen) { return seen.first == step; })) {
                steps.emplace_back(std::move(step), MillisecondsAfter(sample.started, moment));
            }
        }
        std::fclose(file);
    }
    if (steps.empty()) {
        Fail("The trace build wrote no marks to " + win32::Narrow(trace_file));
    }
    const char* const requests[] = {"the software file's request reached the server",
                                    "the USB file's request reached the server"};
    for (std::size_t i = 0; i < sample.requests.size() && i < 2; ++i) {
        steps.emplace_back(requests[i], MillisecondsAfter(sample.started, sample.requests[i]));
    }
    steps.emplace_back("window visible to the benchmark", sample.visible_ms);
    return steps;
}

// Starts the trace build `runs` times with each server, taking turns, and prints the median
// moment of every step, in the order of the first server's medians.
void RunTrace(const Options& options, const Clock& clock,
              const std::vector<std::pair<const char*, Server>>& servers) {
    wchar_t folder[MAX_PATH];
    if (GetTempPathW(MAX_PATH, folder) == 0) {
        Fail("No folder for the trace file");
    }
    const std::wstring trace_file = std::wstring(folder) + L"kvat_start_trace.txt";
    SetEnvironmentVariableW(L"KVAT_START_TRACE_FILE", trace_file.c_str());
    // For each server, each step's moments.
    std::vector<std::map<std::string, std::vector<double>>> moments(servers.size());
    std::vector<std::string> order;
    int busy_starts = 0;
    for (int round = 0; round < options.warmup + options.trace_runs; ++round) {
        for (std::size_t s = 0; s < servers.size(); ++s) {
            const Case target{"trace build", options.trace_launcher, servers[s].second};
            test::HttpTestServer server(kPort, options.control_port);
            ServeVersionFiles(server, servers[s].second);
            DeleteFileW(trace_file.c_str());
            const bool quiet =
                WaitForQuietMachine(static_cast<ULONGLONG>(options.quiet_wait_seconds * 1000));
            const Sample sample = RunOnce(target, clock, &server);
            if (round < options.warmup) {
                continue;
            }
            busy_starts += quiet ? 0 : 1;
            for (const auto& [step, ms] : TraceOf(sample, trace_file)) {
                if (std::find(order.begin(), order.end(), step) == order.end()) {
                    order.push_back(step);
                }
                moments[s][step].push_back(ms);
            }
        }
    }
    SetEnvironmentVariableW(L"KVAT_START_TRACE_FILE", nullptr);
    std::stable_sort(order.begin(), order.end(), [&](const auto& left, const auto& right) {
        return Median(moments[0][left]) < Median(moments[0][right]);
    });
    std::printf("\n## One start, step by step (trace build, medians of %d starts per server)\n\n",
                options.trace_runs);
    std::printf("| Step | ms after start, %s | ms after start, %s |\n|---|---:|---:|\n",
                servers[0].first, servers[1].first);
    for (const std::string& step : order) {
        std::printf("| %s |", step.c_str());
        for (auto& by_step : moments) {
            if (by_step[step].empty()) {
                std::printf(" - |");
            } else {
                std::printf(" %.1f |", Median(by_step[step]));
            }
        }
        std::printf("\n");
    }
    std::printf("\nTrace starts that began on a busy machine: %d of %d.\n", busy_starts,
                options.trace_runs * static_cast<int>(servers.size()));
}

int Run(int argc, wchar_t** argv) {
    const Options options = ParseOptions(argc, argv);
    const Server at_once{};
    const Server far_away{kFarDelay};
    std::vector<Case> cases{
        {"(a) launcher, server answering at once", options.launcher, at_once},
        {"(b) launcher, no server listening", options.launcher, std::nullopt},
        {"(f) launcher, far server (each file answered after 50 ms)", options.launcher, far_away},
    };
    if (!options.compare.empty()) {
        cases.push_back(
            {"(a') compared build, server answering at once", options.compare, at_once});
        cases.push_back(
            {"(b') compared build, no server listening", options.compare, std::nullopt});
        cases.push_back({"(f') compared build, far server", options.compare, far_away});
    }
    cases.push_back(
        {"(w) window only: the launcher's window, no check", options.window_only, std::nullopt});
    // The floor comes last: the table divides by it.
    cases.push_back({"(c) floor: empty window, same size and styles", options.floor, std::nullopt});
    for (const Case& target : cases) {
        if (GetFileAttributesW(target.executable.c_str()) == INVALID_FILE_ATTRIBUTES) {
            Fail("Not found: " + win32::Narrow(target.executable));
        }
    }

    const Clock clock;
    const auto quiet_wait_ms = static_cast<ULONGLONG>(options.quiet_wait_seconds * 1000);
    std::vector<std::vector<Sample>> samples(cases.size());
    int busy_starts = 0;
    const int rounds = options.warmup + options.runs;
    for (int round = 0; round < rounds; ++round) {
        // Each round starts with another case, so no case always runs right after the same one.
        for (std::size_t turn = 0; turn < cases.size(); ++turn) {
            const std::size_t c = (static_cast<std::size_t>(round) + turn) % cases.size();
            std::optional<test::HttpTestServer> server;
            if (cases[c].server) {
                ServeVersionFiles(server.emplace(kPort, options.control_port), *cases[c].server);
            }
            const bool quiet = WaitForQuietMachine(quiet_wait_ms);
            Sample sample = RunOnce(cases[c], clock, server ? &*server : nullptr);
            sample.busy = !quiet;
            if (round >= options.warmup) {
                samples[c].push_back(std::move(sample));
                busy_starts += quiet ? 0 : 1;
            }
        }
        std::fprintf(stderr, "round %d of %d done\n", round + 1, rounds);
    }
    PrintTable(cases, samples);
    std::printf(
        "\nRuns that began on a busy machine (CPUs over 10%% busy until the %.0f s wait "
        "for a quiet machine ran out): %d of %d.\n",
        options.quiet_wait_seconds, busy_starts, options.runs * static_cast<int>(cases.size()));
    if (options.trace_runs > 0) {
        RunTrace(options, clock, {{"server answering at once", at_once}, {"far server", far_away}});
    }
    return 0;
}

}  // namespace
}  // namespace kvat::bench

int wmain(int argc, wchar_t** argv) {
    try {
        return kvat::bench::Run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "startup_bench: %s\n", error.what());
        return 1;
    }
}
