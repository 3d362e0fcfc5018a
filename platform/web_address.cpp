#include "platform/web_address.h"

#include <algorithm>

#include "platform/ascii.h"

namespace kvat {
namespace {

// RFC 3986's unreserved and reserved characters; "%" is judged with what follows it.
constexpr bool IsUriCharacter(char c) {
    return IsAsciiAlphaNumeric(c) ||
           std::string_view("-._~:/?#[]@!$&'()*+,;=").find(c) != std::string_view::npos;
}

// Every character allowed, and every "%" followed by two hex digits.
bool HasOnlyUriCharacters(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            if (i + 2 >= text.size() || !IsAsciiHexDigit(text[i + 1]) ||
                !IsAsciiHexDigit(text[i + 2])) {
                return false;
            }
            i += 2;
        } else if (!IsUriCharacter(text[i])) {
            return false;
        }
    }
    return true;
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::ranges::transform(lower, lower.begin(), AsciiLower);
    return lower;
}

// A reference split as RFC 3986's appendix B splits it; a part that is absent is nothing.
struct Parts {
    std::optional<std::string> scheme;  // lower case
    std::optional<std::string> authority;
    std::string path;
    std::optional<std::string> query;
};

// Nothing when the reference is not well formed: characters outside the set, a scheme that
// is not one or has no "//" after it, user information, or brackets anywhere but around a
// host. The fragment is dropped.
std::optional<Parts> Split(std::string_view text) {
    if (!HasOnlyUriCharacters(text)) {
        return std::nullopt;
    }
    const auto hash = text.find('#');
    if (hash != std::string_view::npos && text.find('#', hash + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    text = text.substr(0, hash);
    Parts parts;
    const auto colon = text.find_first_of(":/?");
    if (colon == 0 && text[0] == ':') {
        return std::nullopt;  // neither a scheme nor a path's first segment may start so
    }
    if (colon != std::string_view::npos && colon > 0 && text[colon] == ':') {
        const std::string_view scheme = text.substr(0, colon);
        if (!IsAsciiAlpha(scheme.front()) || !std::ranges::all_of(scheme, [](char c) {
                return IsAsciiAlphaNumeric(c) || c == '+' || c == '-' || c == '.';
            })) {
            return std::nullopt;
        }
        text.remove_prefix(colon + 1);
        if (!text.starts_with("//")) {
            return std::nullopt;  // "https:foo": a scheme without a host
        }
        parts.scheme = Lower(scheme);
    }
    if (text.starts_with("//")) {
        text.remove_prefix(2);
        const auto end = std::min(text.find_first_of("/?"), text.size());
        const std::string_view authority = text.substr(0, end);
        if (authority.find('@') != std::string_view::npos) {
            return std::nullopt;
        }
        const auto open = authority.find('[');
        const auto close = authority.find(']');
        const bool bracketed = open == 0 && close != std::string_view::npos &&
                               authority.find_first_of("[]", close + 1) == std::string_view::npos &&
                               authority.find('[', 1) == std::string_view::npos;
        if ((open != std::string_view::npos || close != std::string_view::npos) && !bracketed) {
            return std::nullopt;
        }
        parts.authority = authority;
        text.remove_prefix(end);
    }
    const auto question = text.find('?');
    parts.path = text.substr(0, question);
    if (question != std::string_view::npos) {
        parts.query = text.substr(question + 1);
    }
    if (parts.path.find_first_of("[]") != std::string::npos ||
        (parts.query && parts.query->find_first_of("[]") != std::string::npos)) {
        return std::nullopt;
    }
    return parts;
}

// RFC 3986, section 5.2.4.
std::string RemoveDotSegments(std::string_view input) {
    std::string output;
    const auto drop_last_segment = [&output] {
        const auto slash = output.rfind('/');
        output.erase(slash == std::string::npos ? 0 : slash);
    };
    while (!input.empty()) {
        if (input.starts_with("../")) {
            input.remove_prefix(3);
        } else if (input.starts_with("./")) {
            input.remove_prefix(2);
        } else if (input.starts_with("/./")) {
            input.remove_prefix(2);
        } else if (input == "/.") {
            input = "/";
        } else if (input.starts_with("/../")) {
            input.remove_prefix(3);
            drop_last_segment();
        } else if (input == "/..") {
            input = "/";
            drop_last_segment();
        } else if (input == "." || input == "..") {
            input = {};
        } else {
            const auto end = input.find('/', 1);
            const auto segment = input.substr(0, end);
            output.append(segment);
            input.remove_prefix(segment.size());
        }
    }
    return output;
}

std::string Compose(const Parts& parts) {
    std::string text = parts.scheme.value_or("") + ":";
    if (parts.authority) {
        text.append("//").append(*parts.authority);
    }
    text.append(parts.path);
    if (parts.query) {
        text.append("?").append(*parts.query);
    }
    return text;
}

// A host name, a dotted address, or a bracketed IPv6 address: nothing that a library might
// decode or read otherwise.
bool IsHost(std::string_view host) {
    if (host.starts_with('[')) {
        return host.size() > 2 && host.ends_with(']') &&
               host.substr(1, host.size() - 2).find_first_not_of("0123456789abcdefABCDEF:.") ==
                   std::string_view::npos;
    }
    return !host.empty() && std::ranges::all_of(host, [](char c) {
        return IsAsciiAlphaNumeric(c) || c == '-' || c == '.' || c == '_';
    });
}

}  // namespace

std::optional<HttpAddress> ParseWebAddress(std::string_view address) {
    const auto parts = Split(address);
    if (!parts || !parts->scheme || !parts->authority ||
        (*parts->scheme != "http" && *parts->scheme != "https")) {
        return std::nullopt;
    }
    HttpAddress web;
    web.secure = *parts->scheme == "https";
    web.port = web.secure ? 443 : 80;
    const std::string_view authority = *parts->authority;
    const auto port_colon =
        authority.find(':', authority.starts_with('[') ? authority.find(']') : 0);
    web.host = authority.substr(0, port_colon);
    if (!IsHost(web.host)) {
        return std::nullopt;
    }
    if (port_colon != std::string_view::npos) {
        const std::string_view digits = authority.substr(port_colon + 1);
        if (digits.empty() || digits.size() > 5 || !std::ranges::all_of(digits, IsAsciiDigit)) {
            return std::nullopt;
        }
        web.port = 0;
        for (const char digit : digits) {
            web.port = web.port * 10 + static_cast<unsigned>(digit - '0');
        }
        if (web.port == 0 || web.port > 65535) {
            return std::nullopt;
        }
    }
    web.target = parts->path.empty() ? "/" : parts->path;
    if (parts->query) {
        web.target.append("?").append(*parts->query);
    }
    return web;
}

std::string HostAndPortOf(std::string_view address) {
    const auto web = ParseWebAddress(address);
    return web ? web->host + ":" + std::to_string(web->port) : std::string();
}

std::optional<std::string> ResolveReference(std::string_view base, std::string_view reference) {
    const auto from = Split(base);
    auto to = Split(reference);
    if (!from || !to || !from->scheme || !from->authority) {
        return std::nullopt;
    }
    if (to->scheme) {
        to->path = RemoveDotSegments(to->path);
        return Compose(*to);
    }
    to->scheme = from->scheme;
    if (to->authority) {
        to->path = RemoveDotSegments(to->path);
        return Compose(*to);
    }
    to->authority = from->authority;
    if (to->path.empty()) {
        to->path = from->path;
        if (!to->query) {
            to->query = from->query;
        }
    } else if (to->path.starts_with('/')) {
        to->path = RemoveDotSegments(to->path);
    } else {
        // Merge: the base's path up to its last "/", or "/" when the base has none.
        const auto slash = from->path.rfind('/');
        const std::string directory =
            slash == std::string::npos ? "/" : from->path.substr(0, slash + 1);
        to->path = RemoveDotSegments(directory + to->path);
    }
    return Compose(*to);
}

}  // namespace kvat
