// The one rule for redirects, asked by the launcher's fetch and by the vendor's check alike:
// - only 301, 302, 303, 307 and 308 with a Location are followed; any other answer is final;
// - at most kFetchMaxRedirects of them, which also ends a loop;
// - the Location is resolved by the launcher's own reader of addresses (platform/web_address.h),
//   never by a library's, and must give an http or https address with a host, of RFC 3986's
//   characters only, with no user name or password;
// - never a step from https back to plain http;
// - a redirect's own body is not read: the size cap concerns the final answer only, and the
//   fetch's one time bound covers the whole chain;
// - the fragment of an address is never sent.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/fetch_failure.h"
#include "platform/fetch_limits.h"

namespace kvat {

// True for the statuses that send a fetch on to their Location.
constexpr bool IsFollowedRedirect(unsigned status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Where a redirect leads: the next address to ask, or why it is not followed.
struct RedirectStep {
    // Without its fragment. When refused, empty, except for a step from https back to plain
    // http: then the address refused, for the report (it is a web address the reader accepted,
    // so it carries no user name or password).
    std::string next;
    std::optional<FetchFailure> refusal;
};

// The redirect from `from` (an address ParseWebAddress accepts) with `location`, the header as
// the server sent it; `followed` counts the redirects of this fetch before this one.
RedirectStep FollowRedirect(std::string_view from, std::string_view location, unsigned followed,
                            unsigned max_redirects = kFetchMaxRedirects);

// The address as it is asked for: without its fragment, which belongs to the client alone.
template <typename Char>
constexpr std::basic_string_view<Char> WithoutFragment(std::basic_string_view<Char> address) {
    return address.substr(0, address.find(Char('#')));
}

}  // namespace kvat
