// The launcher's fetch, done with libcurl: bounded in time and size, fresh from the server,
// redirects followed by the launcher's rule, only a whole 2xx answer taken as text.
#pragma once

#include <string>
#include <string_view>

#include "tools/server_check/fetch_record.h"

namespace kvat::server_check {

// Needs libcurl set up for the process (MakeLauncherFetcher does that). `authorities`, when not
// empty, is the PEM text of every certificate authority to trust.
FetchRecord CurlFetch(std::string_view address, const std::string& authorities);

}  // namespace kvat::server_check
