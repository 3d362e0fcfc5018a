#include "platform/win32/shell.h"

#include <string>

#include "platform/win32/com_apartment.h"
#include "platform/win32/system_library.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/win32_error.h"

namespace kvat::win32 {
namespace {

// The error of a failed ShellExecuteEx. The shell's own code (hInstApp) is the more exact one
// when it says that no program is associated: Wine then leaves ERROR_PATH_NOT_FOUND behind. It
// also stands in for a shell that leaves no error at all.
DWORD LaunchError(DWORD last_error, HINSTANCE shell_code) {
    const auto code = reinterpret_cast<INT_PTR>(shell_code);
    if (code == SE_ERR_NOASSOC || code == SE_ERR_ASSOCINCOMPLETE) {
        return ERROR_NO_ASSOCIATION;
    }
    if (last_error != ERROR_SUCCESS) {
        return last_error;
    }
    // The shell's first codes are the system's own numbers (file or path not found, ...).
    return code > 0 && code <= 32 ? static_cast<DWORD>(code) : ERROR_NOT_ENOUGH_MEMORY;
}

// The name a system message puts in place of its insert: the file's own name, or the whole
// address.
std::string_view NameOf(std::string_view file) {
    const std::size_t folder_end = file.find_last_of('\\');
    return folder_end == std::string_view::npos ? file : file.substr(folder_end + 1);
}

}  // namespace

decltype(&::ShellExecuteExW) Shell::LoadShellExecute() {
    if (shell_execute_) {
        return shell_execute_;
    }
    // Shell extensions may use COM, so the calling (window) thread joins a single-threaded
    // apartment before the shell runs any of them.
    JoinComApartment();
    ResolveExport(LoadSystemLibrary(L"shell32.dll"), "ShellExecuteExW", shell_execute_);
    return shell_execute_;
}

ShellAnswer Shell::Launch(std::string_view verb, std::string_view file,
                          std::optional<std::string_view> parameters) {
    ShellAnswer answer;
    const auto shell_execute = LoadShellExecute();
    if (!shell_execute) {
        const DWORD error = GetLastError();
        answer.error = error != ERROR_SUCCESS ? error : ERROR_MOD_NOT_FOUND;
        answer.reason = SystemSentence(answer.error, NameOf(file));
        return answer;
    }
    const std::wstring wide_verb = Widen(verb);
    const std::wstring wide_file = Widen(file);
    const std::wstring wide_parameters = parameters ? Widen(*parameters) : std::wstring();
    SHELLEXECUTEINFOW request{};
    request.cbSize = sizeof(request);
    // NOASYNC: the answer is known when the call returns, which is before the started program
    // has done anything; what was started is never waited for.
    request.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    request.lpVerb = wide_verb.c_str();
    request.lpFile = wide_file.c_str();
    request.lpParameters = parameters ? wide_parameters.c_str() : nullptr;
    request.nShow = SW_SHOWNORMAL;
    SetLastError(ERROR_SUCCESS);
    if (!shell_execute(&request)) {
        answer.error = LaunchError(GetLastError(), request.hInstApp);
        answer.reason = SystemSentence(answer.error, NameOf(file));
    }
    return answer;
}

}  // namespace kvat::win32
