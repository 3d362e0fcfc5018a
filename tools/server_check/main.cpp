// kvat-server-check: the vendor's check of its web server, and the writer of the two version
// files, both built on the launcher's own start-up pass and rules.
#include <exception>
#include <iostream>
#include <span>
#include <string_view>
#include <variant>
#include <vector>

#include "tools/server_check/arguments.h"
#include "tools/server_check/fetch_record.h"
#include "tools/server_check/server_check.h"
#include "tools/server_check/stall_notice.h"
#include "tools/server_check/version_file_writer.h"

namespace {

using namespace kvat::server_check;

constexpr int kExitAccepted = 0;
constexpr int kExitNotAccepted = 1;
constexpr int kExitUsage = 2;

int Run(const Request& request) {
    if (std::holds_alternative<HelpRequest>(request)) {
        std::cout << kUsage;
        return kExitAccepted;
    }
    if (const auto* write = std::get_if<WriteRequest>(&request)) {
        WriteVersionFiles(write->folder, write->software, write->driver, std::cout);
        return kExitAccepted;
    }
    const auto& check = std::get<CheckRequest>(request);
    const std::optional<std::string_view> recorded =
        check.recorded_driver ? std::optional<std::string_view>(*check.recorded_driver)
                              : std::nullopt;
    return CheckServer(check.host, recorded,
                       WithStallNotices(MakeLauncherFetcher(check.extra_authorities), std::cerr),
                       std::cout)
               ? kExitAccepted
               : kExitNotAccepted;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    try {
        return Run(ParseArguments(arguments));
    } catch (const UsageError& error) {
        std::cerr << kProgramName << ": " << error.what() << "\n";
        return kExitUsage;
    } catch (const std::exception& error) {
        std::cerr << kProgramName << ": " << error.what() << "\n";
        return kExitNotAccepted;
    }
}
