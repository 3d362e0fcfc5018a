// What one fetch of a version file brought back, for the check's report.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/fetch_answer.h"

namespace kvat::server_check {

// What the launcher makes of the answer, and more for the report.
struct FetchRecord : FetchAnswer {
    std::string address;           // as asked
    std::string bytes;             // the body as received, at most the fetch's byte bound
    std::string refused_location;  // a redirect's address that the redirect rule refused
};

// Fetches one address the way the launcher does.
using Fetcher = std::function<FetchRecord(std::string_view address)>;

// The launcher's fetch on this system: libcurl on Linux, the launcher's own WinINet fetch on
// Windows. Whatever it needs set up lives as long as the fetcher. `extra_authorities` names a
// PEM file of certificate authorities to trust besides the system's; only the Linux check takes
// one (UsageError on Windows, or for a file without a certificate).
Fetcher MakeLauncherFetcher(const std::optional<std::string>& extra_authorities);

}  // namespace kvat::server_check
