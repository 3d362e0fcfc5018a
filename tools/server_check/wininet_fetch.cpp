// The launcher's fetch on Windows is the launcher's own: HttpGet and AnswerOf.
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
        const std::wstring url = win32::Widen(address);
        const win32::HttpResult result = win32::HttpGet(*wininet, url, win32::FetchLimits{});
        FetchRecord record{win32::AnswerOf(result, url), std::string(address), result.body,
                           result.refused_location};
        return record;
    };
}

}  // namespace kvat::server_check
