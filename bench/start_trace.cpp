// The trace build's marks: each moment is kept in memory as it happens and written, once the
// launcher ends, to the file that KVAT_START_TRACE_FILE names, one "name nanoseconds" line each,
// on the steady clock that startup_bench.exe reads too. Writing at the end keeps the file out of
// the start being measured.
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>

#include "platform/win32/start_trace.h"

namespace kvat::win32 {
namespace {

struct Mark {
    const char* what;
    long long nanoseconds;
};

class Trace {
  public:
    // Any thread may mark (WinINet loads on one of its own); each mark takes a slot of its own.
    void Add(const char* what) {
        const std::size_t slot = taken_++;
        if (slot < marks_.size()) {
            marks_[slot] = {what, std::chrono::duration_cast<std::chrono::nanoseconds>(
                                      std::chrono::steady_clock::now().time_since_epoch())
                                      .count()};
        }
    }
    ~Trace() {
        wchar_t path[MAX_PATH];
        const DWORD length = GetEnvironmentVariableW(L"KVAT_START_TRACE_FILE", path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) {
            return;
        }
        if (FILE* file = _wfopen(path, L"w")) {
            for (std::size_t i = 0; i < std::min(taken_.load(), marks_.size()); ++i) {
                std::fprintf(file, "%s %lld\n", marks_[i].what, marks_[i].nanoseconds);
            }
            std::fclose(file);
        }
    }

  private:
    std::array<Mark, 32> marks_{};
    std::atomic<std::size_t> taken_{0};
};

// One per process, for the diagnostic build only: the marks come from wherever the start is.
Trace& TheTrace() {
    static Trace trace;
    return trace;
}

}  // namespace

void MarkStart(const char* what) {
    TheTrace().Add(what);
}

}  // namespace kvat::win32
