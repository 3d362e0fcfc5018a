#include "platform/win32/shell.h"

#include <string>

#include "platform/win32/com_apartment.h"
#include "platform/win32/system_library.h"
#include "platform/win32/text_conversion.h"

namespace kvat::win32 {

decltype(&::ShellExecuteW) Shell::LoadShellExecute() {
    if (shell_execute_) {
        return shell_execute_;
    }
    // Shell extensions may use COM, so the calling (window) thread joins a single-threaded
    // apartment before the shell runs any of them.
    JoinComApartment();
    ResolveExport(LoadSystemLibrary(L"shell32.dll"), "ShellExecuteW", shell_execute_);
    return shell_execute_;
}

void Shell::Launch(std::string_view verb, std::string_view file,
                   std::optional<std::string_view> parameters) {
    const auto shell_execute = LoadShellExecute();
    if (!shell_execute) {
        return;  // like any other failed launch: not reported
    }
    const std::wstring wide_verb = Widen(verb);
    const std::wstring wide_file = Widen(file);
    const std::wstring wide_parameters = parameters ? Widen(*parameters) : std::wstring();
    shell_execute(nullptr, wide_verb.c_str(), wide_file.c_str(),
                  parameters ? wide_parameters.c_str() : nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace kvat::win32
