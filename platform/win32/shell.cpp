#include "platform/win32/shell.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "platform/win32/text_conversion.h"

namespace kvat::win32 {

void ShellLaunch(std::string_view verb, std::string_view file,
                 std::optional<std::string_view> parameters) {
    const std::wstring wide_verb = Widen(verb);
    const std::wstring wide_file = Widen(file);
    const std::wstring wide_parameters = parameters ? Widen(*parameters) : std::wstring();
    ShellExecuteW(nullptr, wide_verb.c_str(), wide_file.c_str(),
                  parameters ? wide_parameters.c_str() : nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace kvat::win32
