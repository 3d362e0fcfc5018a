// Errors from system calls, carrying the system's own message.
#pragma once

#include <string>
#include <string_view>

#include "platform/launcher_error.h"

namespace kvat::win32 {

// The system's description of an error code as a whole sentence, without the trailing line
// break. `insert` takes the place of the description's inserts ("%1 is not a valid ..."): a
// description is never shown with a bare %1.
std::string SystemSentence(unsigned long code, std::string_view insert);

// The same without its closing full stop, to follow "what failed: ". No insert is known there.
std::string SystemMessage(unsigned long code);

// `what` names the failing step; the system's message follows it.
LauncherError Win32Error(unsigned long code, std::string_view what);
[[noreturn]] void ThrowLastError(std::string_view what);

}  // namespace kvat::win32
