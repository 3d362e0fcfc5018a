#include "platform/redirect_policy.h"

#include <algorithm>

namespace kvat {
namespace {

enum class Scheme { Http, Https, Other };

// Scheme names are case-insensitive.
bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char c = text[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != prefix[i]) {
            return false;
        }
    }
    return true;
}

bool IsHostCharacter(char c) {
    // ASCII only, whatever the locale.
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

// After the scheme: [user@]host[:port], where the host is a name, a dotted address or a
// bracketed IPv6 address and the port is digits. The two fetchers' libraries resolve and escape
// a malformed Location differently, so the rule judges the result itself.
bool HasWebHost(std::string_view address) {
    address.remove_prefix(address.find("//") + 2);  // the scheme is http:// or https://
    std::string_view authority = address.substr(0, address.find_first_of("/?#"));
    authority.remove_prefix(authority.rfind('@') + 1);  // npos + 1 is 0
    std::string_view host = authority;
    std::string_view port;
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos || close == 1 ||
            authority.find_first_not_of("0123456789abcdefABCDEF:.", 1) != close) {
            return false;
        }
        host = {};
        port = authority.substr(close + 1);
    } else if (const auto colon = authority.find(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon);
        if (host.empty()) {
            return false;
        }
    } else if (host.empty()) {
        return false;
    }
    if (!port.empty() && (port.size() < 2 || port.size() > 6 || port.front() != ':' ||
                          port.find_first_not_of("0123456789", 1) != std::string_view::npos)) {
        return false;
    }
    return std::ranges::all_of(host, IsHostCharacter);
}

Scheme SchemeOf(std::string_view address) {
    if (StartsWithNoCase(address, "https://")) {
        return Scheme::Https;
    }
    return StartsWithNoCase(address, "http://") ? Scheme::Http : Scheme::Other;
}

}  // namespace

std::optional<FetchFailure> RefuseRedirect(std::string_view from,
                                           std::optional<std::string_view> next, unsigned followed,
                                           unsigned max_redirects) {
    if (followed >= max_redirects) {
        return FetchFailure::RedirectLimit;
    }
    if (!next || next->empty()) {
        return FetchFailure::RedirectBadLocation;
    }
    const Scheme to = SchemeOf(*next);
    if (to == Scheme::Other) {
        return FetchFailure::RedirectOtherScheme;
    }
    if (!HasWebHost(*next)) {
        return FetchFailure::RedirectBadLocation;
    }
    // Handing a secured fetch to plain http would let anyone on the network answer it.
    if (SchemeOf(from) == Scheme::Https && to == Scheme::Http) {
        return FetchFailure::RedirectHttpsToHttp;
    }
    return std::nullopt;
}

}  // namespace kvat
