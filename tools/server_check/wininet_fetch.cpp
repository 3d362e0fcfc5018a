// The launcher's fetch on Windows is the launcher's own: HttpGet and AnswerText.
#include <memory>
#include <string>

#include "platform/win32/http_fetch.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/wininet_library.h"
#include "tools/server_check/arguments.h"
#include "tools/server_check/fetch_record.h"

namespace kvat::server_check {

Fetcher MakeLauncherFetcher(const std::optional<std::string>& extra_authorities) {
    if (extra_authorities) {
        throw UsageError(
            "--cacert is for the Linux check: this one trusts what this PC trusts, as the "
            "launcher does");
    }
    return [wininet = std::make_shared<win32::WinInetLibrary>()](std::string_view address) {
        // The launcher's own bounds: FetchLimits defaults to them.
        const win32::HttpResult result =
            win32::HttpGet(*wininet, win32::Widen(address), win32::FetchLimits{});
        FetchRecord record;
        record.address = address;
        if (std::string final_address = win32::Narrow(result.final_url); final_address != address) {
            record.final_address = std::move(final_address);
        }
        record.failure = result.failure;
        record.failure_detail = "network error " + std::to_string(result.error);
        record.status = static_cast<long>(result.status);
        record.bytes = result.body;
        record.text = win32::AnswerText(result);
        return record;
    };
}

}  // namespace kvat::server_check
