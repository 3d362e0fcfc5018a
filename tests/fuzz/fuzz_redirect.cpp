// The redirect rule and the address reader under it, fed a base address and a Location: the first
// line is the base (a fixed one when it is no address the launcher asks), the rest the Location.
// Whatever comes, an address the rule lets a fetch follow is http or https with a host, and
// carries no user name, password, backslash or character outside RFC 3986's set.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/redirect_policy.h"
#include "platform/web_address.h"

namespace {

bool IsAllowed(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("-._~:/?[]@!$&'()*+,;=%").find(c) != std::string_view::npos;
}

void CheckAddress(std::string_view address) {
    const auto web = kvat::ParseWebAddress(address);
    FUZZ_CHECK(web.has_value());
    std::string scheme(address.substr(0, address.find(':')));
    for (char& c : scheme) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;  // as written
    }
    FUZZ_CHECK(scheme == (web->secure ? "https" : "http"));
    FUZZ_CHECK(address.substr(scheme.size()).starts_with("://"));
    FUZZ_CHECK(!web->host.empty() && web->port >= 1 && web->port <= 65535);
    FUZZ_CHECK(web->target.starts_with('/'));
    const std::string_view authority = address.substr(address.find("//") + 2);
    FUZZ_CHECK(authority.substr(0, authority.find_first_of("/?#")).find('@') ==
               std::string_view::npos);
    for (const char c : address) {
        FUZZ_CHECK(IsAllowed(c));  // no backslash, blank, control or non-ASCII character
    }
    // An address reads as itself: its own empty reference gives it back, scheme in lower case.
    FUZZ_CHECK(kvat::ResolveReference(address, "") ==
               scheme + std::string(address.substr(scheme.size())));
    FUZZ_CHECK(!kvat::HostAndPortOf(address).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto line_end = input.find('\n');
    std::string_view base = input.substr(0, line_end);
    const std::string_view location =
        line_end == std::string_view::npos ? input : input.substr(line_end + 1);
    if (!kvat::ParseWebAddress(base)) {
        base = "https://a.example:8443/b/c;p?q";
    }
    const kvat::RedirectStep step = kvat::FollowRedirect(base, location, 0);
    // An address comes with a step that is followed, or with one refused as https back to plain
    // http, which the report names: both are addresses the reader accepted.
    const bool back_to_http = step.refusal == kvat::FetchFailure::RedirectHttpsToHttp;
    FUZZ_CHECK(step.next.empty() == (step.refusal.has_value() && !back_to_http));
    if (!step.next.empty()) {
        CheckAddress(step.next);
        FUZZ_CHECK(back_to_http == (kvat::ParseWebAddress(base)->secure &&
                                    !kvat::ParseWebAddress(step.next)->secure));
    }
    if (kvat::ParseWebAddress(input)) {
        CheckAddress(input.substr(0, input.find('#')));
    }
    return 0;
}
