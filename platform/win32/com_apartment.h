// COM on the window's thread, for the parts of Windows that need it (the shell, accessibility
// annotations). ole32 is loaded from the system folder when first needed, never imported.
#pragma once

#include <windows.h>

namespace kvat::win32 {

// Joins the calling thread to a single-threaded apartment, once per thread, and returns ole32 for
// looking up COM's functions; nullptr when ole32 cannot be loaded. The thread never leaves the
// apartment: what it made there may be used until the process ends.
HMODULE JoinComApartment();

}  // namespace kvat::win32
