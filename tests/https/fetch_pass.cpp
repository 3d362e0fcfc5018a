// Runs the fetches of one start-up pass the way the launcher does: one WinINet, loaded at the
// first fetch, and the addresses fetched one after the other in one process.
//   kvat_fetch_pass URL...
// Prints one line per address: outcome, error code, HTTP status and the launcher's text, with a
// tab between them. Exit code 0, or 2 for wrong arguments.
#include <cstdio>
#include <string>

#include "platform/win32/http_fetch.h"
#include "platform/win32/wininet_library.h"

namespace {

const char* OutcomeName(kvat::win32::HttpResult::Outcome outcome) {
    using Outcome = kvat::win32::HttpResult::Outcome;
    switch (outcome) {
        case Outcome::Complete:
            return "complete";
        case Outcome::TransportError:
            return "transport-error";
        case Outcome::TimedOut:
            return "timed-out";
        case Outcome::TooLarge:
            return "too-large";
        case Outcome::Skipped:
            return "skipped";
    }
    return "unknown";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: kvat_fetch_pass URL...\n");
        return 2;
    }
    kvat::win32::WinInetLibrary wininet;
    for (int i = 1; i < argc; ++i) {
        const auto result = kvat::win32::HttpGet(wininet, argv[i], {});
        std::printf("%s\t%lu\t%u\t%s\n", OutcomeName(result.outcome), result.error, result.status,
                    kvat::win32::AnswerText(result).c_str());
        std::fflush(stdout);
    }
    return 0;
}
