#include "tools/server_check/curl_fetch.h"

#include <curl/curl.h>

#include <cerrno>
#include <memory>
#include <stdexcept>
#include <string>

#include "launcher/constants.h"
#include "platform/fetch_limits.h"
#include "tools/server_check/western_text.h"

namespace kvat::server_check {
namespace {

// A few hops cover a move to https or to another folder; a loop ends here.

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct Body {
    std::string bytes;
    bool too_large = false;
};

size_t KeepBody(char* data, size_t size, size_t count, void* user) {
    auto& body = *static_cast<Body*>(user);
    const size_t length = size * count;
    if (body.bytes.size() + length > kFetchMaxBytes) {
        // The launcher reads no further than its cap: stop the transfer here.
        body.bytes.append(data, kFetchMaxBytes - body.bytes.size());
        body.too_large = true;
        return 0;
    }
    body.bytes.append(data, length);
    return length;
}

std::string Failure(CURLcode code, const Body& body, long os_error, const char* detail) {
    switch (code) {
        case CURLE_OK:
            return {};
        case CURLE_WRITE_ERROR:
            if (body.too_large) {
                return "more than " + std::to_string(kFetchMaxBytes) +
                       " bytes: the launcher stops reading there";
            }
            break;
        case CURLE_COULDNT_CONNECT:
            if (os_error == ECONNREFUSED) {
                return "connection refused";
            }
            break;
        case CURLE_COULDNT_RESOLVE_HOST:
            return "host name not found";
        case CURLE_OPERATION_TIMEDOUT:
            return "no answer within " + std::to_string(kFetchTimeLimitSeconds) + " s";
        case CURLE_TOO_MANY_REDIRECTS:
            return "more than " + std::to_string(kFetchMaxRedirects) + " redirects";
        case CURLE_GOT_NOTHING:
            return "the server closed the connection without answering";
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
            return "the connection ended before the whole answer arrived";
        default:
            break;
    }
    return *detail != '\0' ? std::string(detail) : std::string(curl_easy_strerror(code));
}

// Sets libcurl up for the process and tears it down again.
class CurlSession {
  public:
    CurlSession() {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            throw std::runtime_error("libcurl could not be set up");
        }
    }
    CurlSession(const CurlSession&) = delete;
    CurlSession& operator=(const CurlSession&) = delete;
    ~CurlSession() { curl_global_cleanup(); }
};

}  // namespace

Fetcher MakeLauncherFetcher() {
    return [session = std::make_shared<CurlSession>()](std::string_view address) {
        return CurlFetch(address);
    };
}

FetchRecord CurlFetch(std::string_view address) {
    FetchRecord record;
    record.address = address;
    const std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        throw std::runtime_error("libcurl could not start a transfer");
    }
    // Fresh from the server every time, as the launcher asks.
    curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    headers = headers ? curl_slist_append(headers, "Pragma: no-cache") : nullptr;
    const std::unique_ptr<curl_slist, ListDeleter> header_list(headers);
    if (!header_list) {
        throw std::runtime_error("libcurl could not prepare the request");
    }

    Body body;
    char detail[CURL_ERROR_SIZE] = {};
    CURL* handle = easy.get();
    curl_easy_setopt(handle, CURLOPT_URL, record.address.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    // As the launcher: redirects to any host, but never from https back to plain http.
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR,
                     record.address.starts_with(kHttpsScheme) ? "https" : "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, long{kFetchMaxRedirects});
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, long{kFetchTimeLimitSeconds} * 1000L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, header_list.get());
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "KVAT_Launcher");
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, KeepBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, detail);

    const CURLcode code = curl_easy_perform(handle);
    long os_error = 0;
    char* final_address = nullptr;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &record.status);
    curl_easy_getinfo(handle, CURLINFO_OS_ERRNO, &os_error);
    curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &final_address);
    if (final_address && record.address != final_address) {
        record.final_address = final_address;
    }
    record.failure = Failure(code, body, os_error, detail);
    record.bytes = std::move(body.bytes);
    if (record.failure.empty() && record.status >= 200 && record.status <= 299) {
        record.text = WesternToUtf8(record.bytes);
    }
    return record;
}

}  // namespace kvat::server_check
