// A fetch that says, while it lasts, that it is still waiting: against a server that takes the
// connection and never answers, the check would otherwise be silent for two minutes.
#pragma once

#include <chrono>
#include <ostream>

#include "tools/server_check/fetch_record.h"

namespace kvat::server_check {

// `fetcher`, run on a thread of its own while this one writes "still waiting for ADDRESS (20 s
// of 60)" to `out` every `interval`. Standard error is meant: the report on standard output
// stays the same however long a server takes.
Fetcher WithStallNotices(Fetcher fetcher, std::ostream& out,
                         std::chrono::seconds interval = std::chrono::seconds(10));

}  // namespace kvat::server_check
