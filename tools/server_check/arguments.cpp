#include "tools/server_check/arguments.h"

#include <map>

#include "launcher/vendor_address.h"

namespace kvat::server_check {
namespace {

constexpr std::string_view kWrite = "--write";
constexpr std::string_view kSoftware = "--software";
constexpr std::string_view kDriver = "--driver";
constexpr std::string_view kRecordedDriver = "--recorded-driver";
constexpr std::string_view kCaCert = "--cacert";

}  // namespace

Request ParseArguments(std::span<const std::string_view> arguments) {
    std::map<std::string_view, std::string> options;
    std::optional<std::string> host;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            return HelpRequest{};
        }
        if (argument == kWrite || argument == kSoftware || argument == kDriver ||
            argument == kRecordedDriver || argument == kCaCert) {
            if (i + 1 == arguments.size()) {
                throw UsageError(std::string(argument) + " needs a value");
            }
            if (!options.emplace(argument, arguments[++i]).second) {
                throw UsageError(std::string(argument) + " is given twice");
            }
        } else if (argument.starts_with("-")) {
            throw UsageError("unknown option " + std::string(argument));
        } else if (host) {
            throw UsageError("one HOST only, not also " + std::string(argument));
        } else {
            host = argument;
        }
    }

    if (options.contains(kWrite)) {
        if (host || options.contains(kRecordedDriver) || options.contains(kCaCert)) {
            throw UsageError("--write takes only --software and --driver");
        }
        if (!options.contains(kSoftware) || !options.contains(kDriver)) {
            throw UsageError("--write needs --software VERSION and --driver VERSION");
        }
        return WriteRequest{options[kWrite], options[kSoftware], options[kDriver]};
    }
    if (options.contains(kSoftware) || options.contains(kDriver)) {
        throw UsageError("--software and --driver go with --write DIR");
    }
    if (!host || host->empty()) {
        throw UsageError("HOST is missing");
    }
    // The same rule the launcher's build applies to its vendor host.
    if (!ParseVendorHost(*host)) {
        throw UsageError(*host + " is not a vendor host: want [http://|https://]host[:port]");
    }
    const auto optional = [&options](std::string_view name) {
        const auto found = options.find(name);
        return found == options.end() ? std::nullopt : std::optional<std::string>(found->second);
    };
    return CheckRequest{*host, optional(kRecordedDriver), optional(kCaCert)};
}

}  // namespace kvat::server_check
