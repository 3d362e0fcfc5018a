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
    "usage: kvat-server-check [--recorded-driver VERSION] [--cacert FILE] HOST\n"
    "       kvat-server-check --write DIR --software VERSION --driver VERSION\n"
    "\n"
    "HOST is the launcher's vendor host, [http://|https://]host[:port]: a host name or address,\n"
    "http when no scheme is given, the scheme's own port when none is given.\n"
    "The check runs the launcher's start-up pass against HOST and prints what the launcher\n"
    "would show and why a version file is not accepted. Then the vendor's checks, which the\n"
    "launcher does not make: each version in the form of this build's versions, and the\n"
    "server's driver version the one recorded. Exit status 0 when both files are accepted and\n"
    "the vendor's checks find nothing, else 1. --recorded-driver sets the driver version the\n"
    "launcher has recorded (default: none for the launcher's pass; the vendor's check then\n"
    "takes the version this build installs). --cacert also trusts the certificate authorities\n"
    "in FILE (PEM), to check a server whose certificate comes from a test or private authority\n"
    "(Linux only: the Windows check trusts what its PC trusts, as the launcher does). --write\n"
    "puts both version files into DIR in the accepted format.\n";

// A command line that does not make sense; its message fits on one line.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct HelpRequest {};

struct CheckRequest {
    std::string host;
    std::optional<std::string> recorded_driver;
    std::optional<std::string> extra_authorities;  // --cacert FILE
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
