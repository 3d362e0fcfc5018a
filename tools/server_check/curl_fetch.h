// The launcher's fetch, done with libcurl: bounded in time and size, fresh from the server,
// redirects followed, only a whole 2xx answer taken as text.
#pragma once

#include <string_view>

#include "tools/server_check/fetch_record.h"

namespace kvat::server_check {

// Sets libcurl up for the process and tears it down again; one lives in main.
class CurlSession {
  public:
    CurlSession();
    CurlSession(const CurlSession&) = delete;
    CurlSession& operator=(const CurlSession&) = delete;
    ~CurlSession();
};

FetchRecord CurlFetch(std::string_view address);

}  // namespace kvat::server_check
