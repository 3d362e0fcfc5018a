// What one fetch of a web address brings the launcher: the document as text, or what came
// instead, in the terms every fetcher shares, so that the launcher can say why it has no version.
#pragma once

#include <string>

#include "platform/fetch_failure.h"

namespace kvat {

struct FetchAnswer {
    // The whole document when it came whole with a 2xx status; empty text otherwise.
    std::string text;
    FetchFailure failure = FetchFailure::None;  // why no whole answer came
    std::string failure_detail;                 // the fetcher's own words, for FetchFailure::Other
    long status = 0;                            // HTTP status of the last answer; 0 when none came
    // The last address asked, when redirects led away from the one asked; empty otherwise.
    std::string final_url;
};

}  // namespace kvat
