// The check itself: the launcher's start-up pass against the vendor's host, and a report of
// what it fetched, what it made of each file and what the window would show.
#pragma once

#include <optional>
#include <ostream>
#include <string_view>

#include "tools/server_check/fetch_record.h"

namespace kvat::server_check {

// Prints the report to `out`; true when both version files were accepted.
bool CheckServer(std::string_view host, std::optional<std::string_view> recorded_driver,
                 const Fetcher& fetcher, std::ostream& out);

}  // namespace kvat::server_check
