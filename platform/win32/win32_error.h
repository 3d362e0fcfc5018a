// Errors from system calls, carrying the system's own message.
#pragma once

#include <string_view>

#include "platform/launcher_error.h"

namespace kvat::win32 {

// The system's description of an error code, without the trailing line break.
std::string SystemMessage(unsigned long code);

// `what` names the failing step; the system's message follows it.
LauncherError Win32Error(unsigned long code, std::string_view what);
[[noreturn]] void ThrowLastError(std::string_view what);

}  // namespace kvat::win32
