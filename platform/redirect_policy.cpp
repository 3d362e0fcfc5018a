#include "platform/redirect_policy.h"

#include "platform/web_address.h"

#include <utility>

namespace kvat {
namespace {

// A resolved address has its scheme in lower case.
bool HasScheme(std::string_view address, std::string_view scheme) {
    return address.starts_with(scheme) && address.substr(scheme.size()).starts_with("://");
}

RedirectStep Refused(FetchFailure why) {
    return {{}, why};
}

}  // namespace

RedirectStep FollowRedirect(std::string_view from, std::string_view location, unsigned followed,
                            unsigned max_redirects) {
    if (followed >= max_redirects) {
        return Refused(FetchFailure::RedirectLimit);
    }
    auto next = ResolveReference(from, location);
    if (!next) {
        return Refused(FetchFailure::RedirectBadLocation);
    }
    if (!HasScheme(*next, "http") && !HasScheme(*next, "https")) {
        return Refused(FetchFailure::RedirectOtherScheme);
    }
    const auto to = ParseWebAddress(*next);
    if (!to) {
        return Refused(FetchFailure::RedirectBadLocation);
    }
    // Handing a secured fetch to plain http would let anyone on the network answer it.
    if (const auto origin = ParseWebAddress(from); origin && origin->secure && !to->secure) {
        return {std::move(*next), FetchFailure::RedirectHttpsToHttp};
    }
    return {std::move(*next), std::nullopt};
}

}  // namespace kvat
