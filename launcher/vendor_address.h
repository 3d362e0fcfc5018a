// The vendor host a launcher is built for: "[http://|https://]host[:port]". One parser for the
// build, the launcher and the vendor's own check, so that they agree on what a host is.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "launcher/constants.h"
#include "platform/ascii.h"

namespace kvat {

struct VendorAddress {
    std::string_view scheme;  // kHttpScheme or kHttpsScheme; kHttpScheme when none was given
    std::string_view host;    // a DNS name or dotted IPv4 address, as given
    unsigned port = 0;        // 0 when none was given: the scheme's own port
};

namespace vendor_address_detail {

// Dot-separated labels of letters, digits and inner hyphens.
constexpr bool IsHostName(std::string_view host) {
    if (host.empty() || host.size() > 253) {
        return false;
    }
    std::size_t label_start = 0;
    for (std::size_t i = 0; i <= host.size(); ++i) {
        if (i < host.size() && host[i] != '.') {
            if (!IsAsciiAlphaNumeric(host[i]) && host[i] != '-') {
                return false;
            }
            continue;
        }
        const std::string_view label = host.substr(label_start, i - label_start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
            return false;
        }
        label_start = i + 1;
    }
    return true;
}

// 1 to 65535, digits only, no leading zero.
constexpr std::optional<unsigned> PortNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 5 || digits.front() == '0') {
        return std::nullopt;
    }
    unsigned port = 0;
    for (const char c : digits) {
        if (!IsAsciiDigit(c)) {
            return std::nullopt;
        }
        port = port * 10 + static_cast<unsigned>(c - '0');
    }
    return port <= 65535 ? std::optional<unsigned>(port) : std::nullopt;
}

}  // namespace vendor_address_detail

// The parts of a vendor host, or nothing for anything else: another scheme, a path or a
// trailing slash, user information, a query, blanks, an empty host or a bad port.
constexpr std::optional<VendorAddress> ParseVendorHost(std::string_view text) {
    using namespace vendor_address_detail;
    VendorAddress address{kHttpScheme, text, 0};
    for (const std::string_view scheme : {kHttpsScheme, kHttpScheme}) {
        if (text.starts_with(scheme)) {
            address.scheme = scheme;
            address.host = text.substr(scheme.size());
            break;
        }
    }
    if (const auto colon = address.host.find(':'); colon != std::string_view::npos) {
        const auto port = PortNumber(address.host.substr(colon + 1));
        if (!port) {
            return std::nullopt;
        }
        address.port = *port;
        address.host = address.host.substr(0, colon);
    }
    if (!IsHostName(address.host)) {
        return std::nullopt;
    }
    return address;
}

}  // namespace kvat
