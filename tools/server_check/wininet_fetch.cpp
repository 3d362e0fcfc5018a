// The launcher's fetch on Windows is the launcher's own: HttpGet and AnswerText.
#include <windows.h>
#include <wininet.h>

#include <memory>
#include <string>

#include "platform/fetch_limits.h"
#include "platform/win32/http_fetch.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/wininet_library.h"
#include "tools/server_check/fetch_record.h"

namespace kvat::server_check {
namespace {

std::string Failure(const win32::HttpResult& result) {
    using Outcome = win32::HttpResult::Outcome;
    switch (result.outcome) {
        case Outcome::Complete:
            return {};
        case Outcome::TimedOut:
            return "no answer within " + std::to_string(kFetchTimeLimitSeconds) + " s";
        case Outcome::TooLarge:
            return "more than " + std::to_string(kFetchMaxBytes) +
                   " bytes: the launcher stops reading there";
        case Outcome::Skipped:  // the check has nobody who could skip
        case Outcome::TransportError:
            break;
    }
    switch (result.error) {
        case ERROR_INTERNET_CANNOT_CONNECT:
            return "connection refused";
        case ERROR_INTERNET_NAME_NOT_RESOLVED:
            return "host name not found";
        case ERROR_INTERNET_CONNECTION_ABORTED:
        case ERROR_INTERNET_CONNECTION_RESET:
            return "the connection ended before the whole answer arrived";
        case ERROR_HTTP_INVALID_SERVER_RESPONSE:
            return "the server closed the connection without answering";
        case ERROR_INTERNET_INVALID_CA:
            return "the server's certificate comes from an authority this PC does not trust";
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
            return "the server's certificate is for another name";
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
            return "the server's certificate has expired or is not yet valid";
        case ERROR_HTTP_REDIRECT_FAILED:
            return "more than " + std::to_string(kFetchMaxRedirects) + " redirects";
        case ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR:
            return "a redirect from https back to plain http, which the launcher refuses";
        default:
            return "network error " + std::to_string(result.error);
    }
}

}  // namespace

Fetcher MakeLauncherFetcher() {
    return [wininet = std::make_shared<win32::WinInetLibrary>()](std::string_view address) {
        // The launcher's own bounds: FetchLimits defaults to them.
        const win32::HttpResult result =
            win32::HttpGet(*wininet, win32::Widen(address), win32::FetchLimits{});
        FetchRecord record;
        record.address = address;
        record.failure = Failure(result);
        record.status = static_cast<long>(result.status);
        record.bytes = result.body;
        record.text = win32::AnswerText(result);
        return record;
    };
}

}  // namespace kvat::server_check
