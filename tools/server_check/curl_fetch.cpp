#include "tools/server_check/curl_fetch.h"

#include <curl/curl.h>
#include <strings.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

#include "platform/fetch_limits.h"
#include "platform/redirect_policy.h"
#include "platform/web_address.h"
#include "tools/server_check/arguments.h"
#include "tools/server_check/western_text.h"

namespace kvat::server_check {
namespace {

// OpenSSL's verification results (X509_V_ERR_*) that libcurl passes on; their numbers are
// fixed, and the headers that name them are not a dependency of libcurl's.
// libcurl records "unspecified" when its own check of the name fails (seen with 7.88).
constexpr long kUnspecified = 1;
constexpr long kCertificateNotYetValid = 9;
constexpr long kCertificateExpired = 10;
constexpr long kCertificateRevoked = 23;
constexpr long kHostNameMismatch = 62;

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;

// What one request brought back. libcurl works out a redirect's address only once the whole
// answer is in, so the Location is taken from the headers as they come.
struct Answer {
    explicit Answer(CURL* easy) : handle(easy) {}

    // The Location of a redirect to follow; empty when the answer is final.
    std::string_view RedirectLocation() const {
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        return IsFollowedRedirect(static_cast<unsigned>(status)) ? location : std::string_view();
    }

    CURL* handle;
    std::string location;
    std::string bytes;
    bool too_large = false;
    bool redirect = false;  // a redirect to follow: the transfer stopped before its body
};

size_t KeepHeader(char* data, size_t size, size_t count, void* user) {
    auto& answer = *static_cast<Answer*>(user);
    std::string_view line(data, size * count);
    constexpr std::string_view kLocation = "Location:";
    if (line.starts_with("HTTP/")) {
        answer.location.clear();  // a new answer begins
    } else if (line.size() >= kLocation.size() &&
               strncasecmp(line.data(), kLocation.data(), kLocation.size()) == 0) {
        line.remove_prefix(kLocation.size());
        const auto begin = line.find_first_not_of(" \t");
        const auto end = line.find_last_not_of(" \t\r\n");  // not before `begin` when it is found
        answer.location = begin == std::string_view::npos ? std::string_view()
                                                          : line.substr(begin, end + 1 - begin);
    }
    return size * count;
}

size_t KeepBody(char* data, size_t size, size_t count, void* user) {
    auto& answer = *static_cast<Answer*>(user);
    if (!answer.RedirectLocation().empty()) {
        answer.redirect = true;
        return 0;
    }
    const size_t length = size * count;
    if (answer.bytes.size() + length > kFetchMaxBytes) {
        // The launcher reads no further than its cap: stop the transfer here.
        answer.bytes.append(data, kFetchMaxBytes - answer.bytes.size());
        answer.too_large = true;
        return 0;
    }
    answer.bytes.append(data, length);
    return length;
}

FetchFailure CertificateFailure(CURL* handle) {
    long result = 0;
    curl_easy_getinfo(handle, CURLINFO_SSL_VERIFYRESULT, &result);
    switch (result) {
        case kCertificateNotYetValid:
        case kCertificateExpired:
            return FetchFailure::CertificateDate;
        case kUnspecified:
        case kHostNameMismatch:
            return FetchFailure::CertificateOtherName;
        case kCertificateRevoked:
            return FetchFailure::CertificateRevoked;
        default:
            return FetchFailure::CertificateUntrusted;
    }
}

FetchFailure Classify(CURLcode code, const Answer& answer, CURL* handle) {
    switch (code) {
        case CURLE_OK:
            return FetchFailure::None;
        case CURLE_WRITE_ERROR:
            return answer.too_large ? FetchFailure::TooLarge : FetchFailure::Other;
        case CURLE_COULDNT_CONNECT:
            // Refused, unreachable or blocked alike: the launcher's WinINet cannot tell them
            // apart, and the two fetchers word it the same.
            return FetchFailure::CouldNotConnect;
        case CURLE_COULDNT_RESOLVE_HOST:
            return FetchFailure::NameNotFound;
        case CURLE_OPERATION_TIMEDOUT:
            return FetchFailure::TimedOut;
        case CURLE_GOT_NOTHING:
            return FetchFailure::ClosedWithoutAnswer;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
            return FetchFailure::ConnectionCut;
        case CURLE_SSL_CONNECT_ERROR:
            return FetchFailure::SecureChannelFailed;
        case CURLE_PEER_FAILED_VERIFICATION:
            return CertificateFailure(handle);
        default:
            return FetchFailure::Other;
    }
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

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return file ? text.str() : std::string();
}

// libcurl's own authorities followed by those in `path`: the file adds to them, not replaces.
std::string Authorities(const std::string& path) {
    std::string added = ReadFile(path);
    if (added.find("-----BEGIN CERTIFICATE-----") == std::string::npos) {
        throw UsageError("--cacert " + path + ": not a readable file of PEM certificates");
    }
    const Easy easy(curl_easy_init());
    const char* bundle = nullptr;
    if (easy) {
        curl_easy_getinfo(easy.get(), CURLINFO_CAINFO, &bundle);
    }
    return (bundle ? ReadFile(bundle) + "\n" : std::string()) + added;
}

}  // namespace

Fetcher MakeLauncherFetcher(const std::optional<std::string>& extra_authorities) {
    auto session = std::make_shared<CurlSession>();
    return [session, authorities = extra_authorities ? Authorities(*extra_authorities)
                                                     : std::string()](std::string_view address) {
        return CurlFetch(address, authorities);
    };
}

FetchRecord CurlFetch(std::string_view address, const std::string& authorities) {
    FetchRecord record;
    record.address = address;
    const Easy easy(curl_easy_init());
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

    char detail[CURL_ERROR_SIZE] = {};
    CURL* handle = easy.get();
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    // Redirects are followed below, by the launcher's rule; libcurl only reports them.
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, header_list.get());
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "KVAT_Launcher");
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, KeepBody);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, KeepHeader);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, detail);
    if (!authorities.empty()) {
        // libcurl keeps a copy; it does not write to it.
        curl_blob blob{const_cast<char*>(authorities.data()), authorities.size(), CURL_BLOB_COPY};
        curl_easy_setopt(handle, CURLOPT_CAINFO_BLOB, &blob);
    }

    // One bound for the whole chain of redirects, as in the launcher.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(kFetchTimeLimitSeconds);
    std::string url = record.address;
    for (unsigned followed = 0;; ++followed) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            record.failure = FetchFailure::TimedOut;
            break;
        }
        Answer answer(handle);
        detail[0] = '\0';
        curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count()));
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &answer);
        curl_easy_setopt(handle, CURLOPT_HEADERDATA, &answer);
        const CURLcode code = curl_easy_perform(handle);
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &record.status);

        const std::string_view location = answer.RedirectLocation();
        if (location.empty() || (code != CURLE_OK && !answer.redirect)) {
            record.failure = Classify(code, answer, handle);
            record.failure_detail = record.failure == FetchFailure::CouldNotConnect
                                        ? HostAndPortOf(url)
                                    : *detail ? detail
                                              : curl_easy_strerror(code);
            record.bytes = std::move(answer.bytes);
            break;
        }
        // Resolved by the launcher's own rule, never by libcurl's URL parser.
        RedirectStep next = FollowRedirect(url, location, followed);
        if (next.refusal) {
            record.failure = *next.refusal;
            record.refused_location = std::move(next.next);
            break;
        }
        url = std::move(next.next);
    }
    if (url != record.address) {
        record.final_url = url;
    }
    if (record.failure == FetchFailure::None && record.status >= 200 && record.status <= 299) {
        record.text = WesternToUtf8(record.bytes);
    }
    return record;
}

}  // namespace kvat::server_check
