// Starting files and web addresses through the Windows shell.
#pragma once

#include <optional>
#include <string_view>

namespace kvat::win32 {

// ShellExecute with no owner window, no working directory and SW_SHOWNORMAL. Returns as soon as
// the shell has the request; the outcome is deliberately not examined.
void ShellLaunch(std::string_view verb, std::string_view file,
                 std::optional<std::string_view> parameters);

}  // namespace kvat::win32
