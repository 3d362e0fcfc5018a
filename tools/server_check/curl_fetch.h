// The launcher's fetch, done with libcurl: bounded in time and size, fresh from the server,
// redirects followed, only a whole 2xx answer taken as text.
#pragma once

#include <string_view>

#include "tools/server_check/fetch_record.h"

namespace kvat::server_check {

// Needs libcurl set up for the process (MakeLauncherFetcher does that).
FetchRecord CurlFetch(std::string_view address);

}  // namespace kvat::server_check
