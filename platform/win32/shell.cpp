#include "platform/win32/shell.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>

#include "platform/win32/text_conversion.h"

namespace kvat::win32 {
namespace {

using ShellExecuteFunction = decltype(&ShellExecuteW);
using CoInitializeExFunction = HRESULT(WINAPI*)(void*, DWORD);

template <typename Function>
Function SystemFunction(const wchar_t* library, const char* name) {
    HMODULE module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module
               ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
               : nullptr;
}

// The shell is large and only needed once the user clicks, so it is loaded then rather than at
// start-up; it stays loaded for the rest of the process. Shell extensions may use COM, so the
// calling (window) thread joins a single-threaded apartment first.
ShellExecuteFunction LoadShellExecute() {
    static const ShellExecuteFunction function = [] {
        if (const auto co_initialize =
                SystemFunction<CoInitializeExFunction>(L"ole32.dll", "CoInitializeEx")) {
            co_initialize(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        }
        return SystemFunction<ShellExecuteFunction>(L"shell32.dll", "ShellExecuteW");
    }();
    return function;
}

}  // namespace

void ShellLaunch(std::string_view verb, std::string_view file,
                 std::optional<std::string_view> parameters) {
    const ShellExecuteFunction shell_execute = LoadShellExecute();
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
