// The command line of kvat-server-check.
#pragma once

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace kvat::server_check {

inline constexpr std::string_view kProgramName = "kvat-server-check";
inline constexpr std::string_view kUsage =
    "usage: kvat-server-check [--recorded-driver VERSION] HOST\n"
    "       kvat-server-check --write DIR --software VERSION --driver VERSION\n"
    "\n"
    "HOST is the launcher's vendor host: a host name or address, optionally with :port.\n"
    "The check runs the launcher's start-up pass against HOST and prints what the launcher\n"
    "would show and why a version file is not accepted; exit status 0 when both files are\n"
    "accepted, 1 when one is not. --recorded-driver sets the driver version the launcher has\n"
    "recorded (default: none). --write puts both version files into DIR in the accepted\n"
    "format.\n";

// A command line that does not make sense; its message fits on one line.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct HelpRequest {};

struct CheckRequest {
    std::string host;
    std::optional<std::string> recorded_driver;
};

struct WriteRequest {
    std::string folder;
    std::string software;
    std::string driver;
};

using Request = std::variant<HelpRequest, CheckRequest, WriteRequest>;

// The arguments after the program name. Throws UsageError.
Request ParseArguments(std::span<const std::string_view> arguments);

}  // namespace kvat::server_check
