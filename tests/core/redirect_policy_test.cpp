// The redirect rule both fetchers ask: which step is refused, and for which reason first.
#include <gtest/gtest.h>

#include "platform/redirect_policy.h"

namespace kvat {
namespace {

TEST(RedirectPolicy, EachRefusalHasItsReason) {
    using enum FetchFailure;
    struct Case {
        std::string_view from;
        std::optional<std::string_view> next;
        unsigned followed;
        std::optional<FetchFailure> refusal;
    };
    constexpr std::string_view kHttp = "http://a.example/x", kHttps = "https://a.example/x";
    for (const Case& c : {
             Case{kHttp, "HTTPS://b.example:8443/y?q=1", 0, std::nullopt},
             Case{kHttps, "https://user@[::1]:443/", 4, std::nullopt},
             Case{kHttp, "http://b_c.example", 0, std::nullopt},
             Case{kHttp, kHttp, 5, RedirectLimit},  // a loop ends at the bound
             Case{kHttps, "http://b.example", 5, RedirectLimit},
             Case{kHttps, "Http://b.example/y", 0, RedirectHttpsToHttp},
             Case{kHttp, "ftp://b.example/y", 0, RedirectOtherScheme},
             Case{kHttps, "b.example/y", 0, RedirectOtherScheme},
             Case{kHttp, std::nullopt, 0, RedirectBadLocation},
             Case{kHttp, "http://%5B::1/y", 0, RedirectBadLocation},  // as WinINet escapes "[::1"
             Case{kHttp, "http://b%2Dc.example/y", 0, RedirectBadLocation},
             Case{kHttp, "http://[::1/y", 0, RedirectBadLocation},
             Case{kHttp, "http://:80/y", 0, RedirectBadLocation},
             Case{kHttp, "http://b.example:/y", 0, RedirectBadLocation},
             Case{kHttp, "http://b.example:8o/y", 0, RedirectBadLocation},
             Case{kHttps, "http:///y", 0, RedirectBadLocation},
         }) {
        SCOPED_TRACE(std::string(c.next.value_or("(none)")));
        EXPECT_EQ(RefuseRedirect(c.from, c.next, c.followed), c.refusal);
    }
}

}  // namespace
}  // namespace kvat
