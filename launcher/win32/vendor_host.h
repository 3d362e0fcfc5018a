#pragma once

#include <string_view>

namespace kvat {

// The vendor's web host ([http://|https://]host[:port]), fixed when the launcher is built.
extern const std::string_view kVendorHost;

}  // namespace kvat
