// What one fetch of a version file brought back, for the check's report.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/fetch_failure.h"

namespace kvat::server_check {

struct FetchRecord {
    std::string address;        // as asked
    std::string final_address;  // after redirects; empty when it is the address asked
    FetchFailure failure = FetchFailure::None;  // why no whole answer came
    std::string failure_detail;                 // the library's own words, for Other
    long status = 0;                            // HTTP status of the last answer, 0 when none
    std::string bytes;  // the body as received, at most the fetch's byte bound
    std::string text;   // what the launcher makes of it: empty unless whole and 2xx
};

// Fetches one address the way the launcher does.
using Fetcher = std::function<FetchRecord(std::string_view address)>;

// The launcher's fetch on this system: libcurl on Linux, the launcher's own WinINet fetch on
// Windows. Whatever it needs set up lives as long as the fetcher. `extra_authorities` names a
// PEM file of certificate authorities to trust besides the system's; only the Linux check takes
// one (UsageError on Windows, or for a file without a certificate).
Fetcher MakeLauncherFetcher(const std::optional<std::string>& extra_authorities);

}  // namespace kvat::server_check
