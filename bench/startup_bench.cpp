// Start-up benchmark of the launcher under Wine (or Windows). For each case it starts the program
// as its own process, polls every millisecond for its visible top-level window, notes the time
// from CreateProcess to that moment and the process's peak working set once the window is idle,
// then closes the window and waits for the process to end. The cases take turns, so that drifts
// of the machine fall on all of them alike; the first runs of each are warm-ups and not counted.
// The version server (tests/scripted_server.py, started by scripts/bench.sh) listens only during
// the runs of the case that has one.
//
//   startup_bench.exe --control-port PORT [--runs N] [--warmup N] [--launcher EXE]
//                     [--floor EXE] [--compare EXE]
// --compare adds another build of the launcher (built for the same port), say the one before a
// change, so that both are measured in one run under the same conditions.
//
// Prints a Markdown table of the results, then every counted sample in run order.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
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
constexpr ULONGLONG kQuietDeadlineMs = 20000;

struct Case {
    const char* name;
    std::wstring executable;
    bool server;  // whether the version server listens during the run
};

struct Sample {
    double visible_ms;
    double peak_working_set_mib;
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
bool WaitForQuietMachine() {
    const ULONGLONG deadline = GetTickCount64() + kQuietDeadlineMs;
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

// The vendor's server, answering both version files at once (one send, Nagle off), with
// answers of the lengths the launcher accepts.
void ServeVersionFiles(test::HttpTestServer& server) {
    server.Serve(std::string(kSoftwareVersionPath),
                 {.body = "KVAT Software Version:" KVAT_THIS_VERSION});
    server.Serve(std::string(kUsbVersionPath), {.body = "KVAT USB Driver: 2.12.28"});
}

// One start of `target`; `server` is the version server of a case that has one, set up before
// the machine was let settle, so that its own start-up is not measured with the launcher's.
Sample RunOnce(const Case& target, const Clock& clock, test::HttpTestServer* server) {
    std::wstring command_line = L"\"" + target.executable + L"\"";
    const std::wstring folder = FolderOf(target.executable);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};

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
    if (server) {
        std::vector<std::string> paths;
        for (const test::HttpRequest& request : server->Requests()) {
            paths.push_back(request.path);
        }
        if (paths != std::vector<std::string>{std::string(kSoftwareVersionPath),
                                              std::string(kUsbVersionPath)}) {
            Fail(std::string(target.name) + ": the server was asked " +
                 std::to_string(paths.size()) + " times, not once for each version file");
        }
    }
    return {clock.Milliseconds(start, shown),
            static_cast<double>(memory.PeakWorkingSetSize) / (1024.0 * 1024.0)};
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
    std::wstring compare;  // another build of the launcher, measured side by side
};

Options ParseOptions(int argc, wchar_t** argv) {
    Options options;
    const std::wstring folder = win32::Widen(win32::ExecutableFolder());
    options.launcher = folder + L"\\launcher\\KVAT_Launcher.exe";
    options.floor = folder + L"\\bench_floor.exe";
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
        } else if (option == L"--compare") {
            options.compare = value;
        } else {
            Fail("Unknown option " + win32::Narrow(option));
        }
    }
    if (options.control_port == 0) {
        Fail("--control-port is needed: the port scripted_server.py names when it is ready");
    }
    if (options.runs < 1 || options.warmup < 0) {
        Fail("--runs must be at least 1 and --warmup at least 0");
    }
    return options;
}

// Under Wine on a small machine a run is now and then much slower than the rest, in every case
// alike; the lower quartile shows the cost of a run that was not, the median the usual one.
void PrintTable(const std::vector<Case>& cases, const std::vector<std::vector<Sample>>& samples) {
    struct Summary {
        double median, lower_quartile, min, max, peak_working_set;
    };
    std::vector<Summary> summaries;
    for (const auto& runs : samples) {
        std::vector<double> times;
        std::vector<double> peaks;
        for (const Sample& sample : runs) {
            times.push_back(sample.visible_ms);
            peaks.push_back(sample.peak_working_set_mib);
        }
        summaries.push_back({Median(times), Quantile(times, 0.25),
                             *std::min_element(times.begin(), times.end()),
                             *std::max_element(times.begin(), times.end()), Median(peaks)});
    }
    const Summary& floor = summaries.back();  // the floor is the last case

    std::printf(
        "| Case | Runs | Median (ms) | Lower quartile (ms) | Min (ms) | Max (ms) | Median / floor "
        "| Lower quartile / floor | Peak working set (MiB, median) |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (std::size_t c = 0; c < cases.size(); ++c) {
        const Summary& row = summaries[c];
        std::printf("| %s | %zu | %.1f | %.1f | %.1f | %.1f | %.2fx | %.2fx | %.1f |\n",
                    cases[c].name, samples[c].size(), row.median, row.lower_quartile, row.min,
                    row.max, row.median / floor.median, row.lower_quartile / floor.lower_quartile,
                    row.peak_working_set);
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

int Run(int argc, wchar_t** argv) {
    const Options options = ParseOptions(argc, argv);
    std::vector<Case> cases{
        {"(a) launcher, server answering at once", options.launcher, true},
        {"(b) launcher, no server listening", options.launcher, false},
    };
    if (!options.compare.empty()) {
        cases.push_back({"(a') compared build, server answering at once", options.compare, true});
        cases.push_back({"(b') compared build, no server listening", options.compare, false});
    }
    // The floor comes last: the table divides by it.
    cases.push_back({"(c) floor: empty window, same size and styles", options.floor, false});
    for (const Case& target : cases) {
        if (GetFileAttributesW(target.executable.c_str()) == INVALID_FILE_ATTRIBUTES) {
            Fail("Not found: " + win32::Narrow(target.executable));
        }
    }

    const Clock clock;
    std::vector<std::vector<Sample>> samples(cases.size());
    int busy_starts = 0;
    const int rounds = options.warmup + options.runs;
    for (int round = 0; round < rounds; ++round) {
        // Each round starts with another case, so no case always runs right after the same one.
        for (std::size_t turn = 0; turn < cases.size(); ++turn) {
            const std::size_t c = (static_cast<std::size_t>(round) + turn) % cases.size();
            std::optional<test::HttpTestServer> server;
            if (cases[c].server) {
                ServeVersionFiles(server.emplace(kPort, options.control_port));
            }
            const bool quiet = WaitForQuietMachine();
            const Sample sample = RunOnce(cases[c], clock, server ? &*server : nullptr);
            if (round >= options.warmup) {
                samples[c].push_back(sample);
                busy_starts += quiet ? 0 : 1;
            }
        }
        std::fprintf(stderr, "round %d of %d done\n", round + 1, rounds);
    }
    PrintTable(cases, samples);
    std::printf("\nRuns that began on a busy machine (CPUs over 10%% busy for 20 s): %d of %d.\n",
                busy_starts, options.runs * static_cast<int>(cases.size()));
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
