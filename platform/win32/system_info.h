// What the launcher asks of the system about itself and its surroundings.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace kvat::win32 {

// The major version GetVersionEx reports, 0 when it fails.
int WindowsMajorVersion();
// The version of Windows as the system itself has it, for a person to read: "10.0 build 19045",
// with the service pack where there is one; empty text when the system does not say.
// GetVersionEx reports an older one to programs without a manifest, so this asks ntdll.
std::string WindowsVersionText();
// The folder of the running executable, without a trailing separator.
std::string ExecutableFolder();
// The raw argument text after the program name, quotes and blanks as received.
std::string ArgumentText();
// The argument part of a full command line, by the rules the C run-time uses to find the end of
// the program name (quoted or up to the first blank), with the blanks after it skipped.
std::wstring_view ArgumentsOf(std::wstring_view command_line);
bool FileExists(std::string_view path);
// When this process started, on the steady clock; now, if the system does not say.
std::chrono::steady_clock::time_point ProcessStartTime();

}  // namespace kvat::win32
