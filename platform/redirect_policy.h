// The one rule for redirects, asked by the launcher's fetch and by the vendor's check alike:
// - only 301, 302, 303, 307 and 308 with a Location are followed; any other answer is final;
// - at most kFetchMaxRedirects of them, which also ends a loop;
// - http and https only, and never a step from https back to plain http;
// - a redirect's own body is not read: the size cap concerns the final answer only, and the
//   fetch's one time bound covers the whole chain;
// - the fragment of an address is never sent.
#pragma once

#include <optional>
#include <string_view>

#include "platform/fetch_failure.h"
#include "platform/fetch_limits.h"

namespace kvat {

// True for the statuses that send a fetch on to their Location.
constexpr bool IsFollowedRedirect(unsigned status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Why the redirect from `from` to `next` is not followed, or nothing when it is. `next` is the
// Location resolved against `from`, or nothing when it could not be resolved; `followed` counts
// the redirects of this fetch before this one.
std::optional<FetchFailure> RefuseRedirect(std::string_view from,
                                           std::optional<std::string_view> next, unsigned followed,
                                           unsigned max_redirects = kFetchMaxRedirects);

// The address as it is asked for: without its fragment, which belongs to the client alone.
template <typename Char>
constexpr std::basic_string_view<Char> WithoutFragment(std::basic_string_view<Char> address) {
    return address.substr(0, address.find(Char('#')));
}

}  // namespace kvat
