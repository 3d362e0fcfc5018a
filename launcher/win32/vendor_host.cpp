#include "launcher/win32/vendor_host.h"

#ifndef KVAT_VENDOR_HOST
#error "Configure KVAT_VENDOR_HOST (host[:port]) when building the launcher."
#endif

namespace kvat {

const std::string_view kVendorHost = KVAT_VENDOR_HOST;

}  // namespace kvat
