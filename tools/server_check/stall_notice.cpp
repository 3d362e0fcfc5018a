#include "tools/server_check/stall_notice.h"

#include <future>
#include <string>
#include <utility>

#include "platform/fetch_limits.h"

namespace kvat::server_check {

Fetcher WithStallNotices(Fetcher fetcher, std::ostream& out, std::chrono::seconds interval) {
    return [fetcher = std::move(fetcher), &out, interval](std::string_view address) {
        const std::string asked(address);
        // The fetch has its own bound, so the wait below always ends.
        std::future<FetchRecord> fetched =
            std::async(std::launch::async, [&fetcher, &asked] { return fetcher(asked); });
        for (std::chrono::seconds waited = interval;
             fetched.wait_for(interval) == std::future_status::timeout; waited += interval) {
            out << "still waiting for " << asked << " (" << waited.count() << " s of "
                << kFetchTimeLimitSeconds << ")" << std::endl;
        }
        return fetched.get();
    };
}

}  // namespace kvat::server_check
