// The vendor-host form fed any text: a host it accepts makes addresses the launcher's own reader
// accepts, with that host and port, and never a user name, password or path.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "launcher/constants.h"
#include "launcher/vendor_address.h"
#include "platform/web_address.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto vendor = kvat::ParseVendorHost(text);
    if (!vendor) {
        return 0;
    }
    FUZZ_CHECK(vendor->scheme == kvat::kHttpScheme || vendor->scheme == kvat::kHttpsScheme);
    FUZZ_CHECK(!vendor->host.empty());
    FUZZ_CHECK(vendor->host.find_first_of("@/\\?#:[] ") == std::string_view::npos);
    FUZZ_CHECK(vendor->port <= 65535);
    const std::string address = std::string(vendor->scheme) + std::string(vendor->host) +
                                (vendor->port ? ":" + std::to_string(vendor->port) : "") +
                                std::string(kvat::kSoftwareVersionPath);
    const auto web = kvat::ParseWebAddress(address);
    FUZZ_CHECK(web.has_value());
    FUZZ_CHECK(web->host == vendor->host);
    FUZZ_CHECK(web->secure == (vendor->scheme == kvat::kHttpsScheme));
    FUZZ_CHECK(vendor->port == 0 || web->port == vendor->port);
    return 0;
}
