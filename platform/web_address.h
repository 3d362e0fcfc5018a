// The one reading of a web address for both fetchers: what an address the launcher asks must be,
// and where a redirect's Location leads (reference resolution of RFC 3986, section 5). Both the
// launcher's WinINet fetch and the vendor's libcurl check follow exactly the addresses this
// resolves, and ask exactly the hosts this parses, whatever their libraries would make of them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kvat {

struct HttpAddress {
    bool secure = false;  // https rather than http
    std::string host;     // as written: a name, a dotted address or a bracketed IPv6 address
    unsigned port = 0;    // the one given, or the scheme's own
    std::string target;   // path and query as sent in the request, at least "/"
};

// An absolute http or https address with a host, made only of RFC 3986's characters
// (unreserved, reserved, and "%" followed by two hex digits), with no user name or password.
// Nothing for anything else: a backslash, a blank, a control or non-ASCII character could make
// the tooltip or the report show another address than the one asked, and a user name or
// password must never reach a report.
std::optional<HttpAddress> ParseWebAddress(std::string_view address);

// "HOST:PORT", as the connection is made; empty text for what ParseWebAddress refuses.
std::string HostAndPortOf(std::string_view address);

// The address `reference` names when read against `base`, without its fragment. Nothing when
// `reference` is not a well-formed reference of RFC 3986's characters, names a scheme without
// "//", or carries a user name or password.
std::optional<std::string> ResolveReference(std::string_view base, std::string_view reference);

}  // namespace kvat
