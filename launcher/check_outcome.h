// What the last start-up check learned of the two version files, kept so that the launcher can
// say why it could not verify: over the status texts on demand, and in a report for support.
#pragma once

#include <string>
#include <string_view>

#include "platform/fetch_answer.h"

namespace kvat {

struct VersionFileOutcome {
    std::string address;  // as asked
    FetchAnswer answer;
    std::string version;  // the version taken from the answer; empty when none was
    // Why the file leaves its status unverified, in plain words; empty when it does not.
    std::string reason;
};

struct CheckOutcome {
    VersionFileOutcome software;
    VersionFileOutcome driver;
    std::string recorded_driver;  // the recorded USB driver version as the check read it
};

// What a status text explains on demand: "<title>: <address>", CR LF, "Reason: <reason>".
std::string Explanation(std::string_view file_title, const VersionFileOutcome& file);

// The plain-text report for the vendor's support, lines ending in CR LF: this launcher's version,
// the vendor's address, each file's address, outcome and reason, the recorded driver version and
// `windows_version` (empty text: unknown). Nothing else of the PC or its user.
std::string SupportReport(std::string_view vendor_address, const CheckOutcome& check,
                          std::string_view windows_version);

}  // namespace kvat
