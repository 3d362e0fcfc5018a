#include "launcher/win32/vendor_host.h"

#include "launcher/vendor_address.h"

#ifndef KVAT_VENDOR_HOST
#error "Configure KVAT_VENDOR_HOST ([http://|https://]host[:port]) when building the launcher."
#endif

static_assert(kvat::ParseVendorHost(KVAT_VENDOR_HOST),
              "KVAT_VENDOR_HOST must be [http://|https://]host[:port], with no path");

namespace kvat {

const std::string_view kVendorHost = KVAT_VENDOR_HOST;

}  // namespace kvat
